#include "Images.h"

#include <QString>

#include <initializer_list>

// The resources of a static library are registered by name, outside any namespace.
static void InitImageResources() {
  Q_INIT_RESOURCE(main);
  Q_INIT_RESOURCE(modules);
}

namespace Kalvoro {

namespace {

// An icon drawn in Icons/ (one scalable file serves every size).
QIcon Drawn(const char* aList, const char* aName) {
  static const bool Initialized = (InitImageResources(), true);
  (void)Initialized;
  return QIcon(QStringLiteral(":/%1/%2.svg").arg(QLatin1String(aList), QLatin1String(aName)));
}

QList<QIcon> DrawnList(const char* aList, std::initializer_list<const char*> aNames) {
  QList<QIcon> Result;
  for (const char* Name : aNames)
    Result << Drawn(aList, Name);
  return Result;
}

QIcon File(const char* aThemeName) {
  return ThemeIcon(aThemeName, Drawn("main", "document"));
}

} // namespace

void InitializeIconTheme() {
  if (QIcon::fallbackThemeName().isEmpty() ||
      QIcon::fallbackThemeName() == QLatin1String("hicolor"))
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
}

QIcon ThemeIcon(const char* aName, const QIcon& aFallback) {
  QIcon Icon = QIcon::fromTheme(QString::fromLatin1(aName));
  return Icon.isNull() ? aFallback : Icon;
}

QList<QIcon> MainActionImages() {
  QList<QIcon> Result{File("document-new"),     File("document-open"),  File("document-save"),
                      File("document-save-as"), File("document-print"), File("application-exit")};
  return Result << NavigationImages();
}

QList<QIcon> NavigationImages() {
  return DrawnList("main", {"modules", "scenarios", "results"});
}

QList<QIcon> ModuleActionImages() {
  return DrawnList("modules", {"module-add", "module-remove", "module-load", "module-unload",
                               "modules-remove-all", "modules-load-all", "modules-unload-all"});
}

QList<QIcon> ModuleTreeImages() {
  return DrawnList("modules", {"module-not-loaded", "module-loaded", "module-load-failed",
                               "unit-test", "method"});
}

QIcon ApplicationIcon() {
  return Drawn("main", "application");
}

} // namespace Kalvoro
