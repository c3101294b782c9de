#include "ScenarioImages.h"

#include <QString>

// The resources of a static library are registered by name, outside any namespace.
static void InitScenarioResources() {
  Q_INIT_RESOURCE(scenarios);
}

namespace Kalvoro {

namespace {

QString ResourcePath(const char* aName) {
  static const bool Initialized = (InitScenarioResources(), true);
  (void)Initialized;
  return QStringLiteral(":/scenarios/%1.svg").arg(QLatin1String(aName));
}

QList<QIcon> Icons(std::initializer_list<const char*> aNames) {
  QList<QIcon> Result;
  for (const char* Name : aNames)
    Result << QIcon(ResourcePath(Name));
  return Result;
}

// An icon whose disabled state is the "-disabled" image of the same name.
QIcon TwoStateIcon(const char* aName) {
  QIcon Result;
  Result.addFile(ResourcePath(aName), {}, QIcon::Normal);
  Result.addFile(ResourcePath((QByteArray(aName) + "-disabled").constData()), {}, QIcon::Disabled);
  return Result;
}

} // namespace

QList<QIcon> ScenarioTreeImages() {
  return Icons({"scenario-unittest", "scenario"});
}

QList<QIcon> ScenarioActionImages() {
  return Icons({"scenario-enable", "scenario-disable", "scenario-add", "scenario-remove",
                "scenario-rename"});
}

QList<QIcon> ScenarioStripImages() {
  return {TwoStateIcon("strip-add-selected"), TwoStateIcon("strip-add-all"),
          TwoStateIcon("strip-remove-all"), TwoStateIcon("strip-remove-selected")};
}

} // namespace Kalvoro
