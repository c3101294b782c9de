#include "EditorLauncher.h"

#include <QDesktopServices>
#include <QProcess>
#include <QSettings>
#include <QUrl>

namespace Kalvoro {

namespace {

const char* const EditorKey = "Editor/Command";

// The user's settings, not the project's: every project opens in one editor.
#define KALVORO_USER_SETTINGS(aName)                                                               \
  QSettings aName(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kalvoro"),        \
                  QStringLiteral("Morvane"))

} // namespace

QString TDesktopEditorLauncher::Template() const {
  KALVORO_USER_SETTINGS(Settings);
  return Settings.value(QLatin1String(EditorKey)).toString();
}

void TDesktopEditorLauncher::SetTemplate(const QString& aTemplate) {
  KALVORO_USER_SETTINGS(Settings);
  Settings.setValue(QLatin1String(EditorKey), aTemplate);
}

bool TDesktopEditorLauncher::Start(const TEditorCommand& aCommand) {
  return QProcess::startDetached(aCommand.Program, aCommand.Arguments);
}

bool TDesktopEditorLauncher::OpenWithDesktop(const QString& aFile) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(aFile));
}

} // namespace Kalvoro
