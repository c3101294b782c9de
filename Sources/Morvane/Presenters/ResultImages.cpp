#include "ResultImages.h"

#include <QString>

// The resources of a static library are registered by name, outside any namespace.
static void InitResultResources() {
  Q_INIT_RESOURCE(results);
}

namespace Kalvoro {

namespace {

QList<QIcon> Icons(std::initializer_list<const char*> aNames) {
  static const bool Initialized = (InitResultResources(), true);
  (void)Initialized;
  QList<QIcon> Result;
  for (const char* Name : aNames)
    Result << QIcon(QStringLiteral(":/results/%1.svg").arg(QLatin1String(Name)));
  return Result;
}

} // namespace

QList<QIcon> ResultTreeImages() {
  return Icons({"result-unittest", "result-method", "result-todo", "result-success",
                "result-failure", "result-exception", "result-scenario", "result-failure-new",
                "result-exception-new", "result-success-fixed"});
}

QList<QIcon> ResultActionImages() {
  return Icons({"start", "start-all", "save-summary", "save-log", "save-errors", "run-selected",
                "run-failed"});
}

} // namespace Kalvoro
