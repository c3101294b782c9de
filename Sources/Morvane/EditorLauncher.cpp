#include "EditorLauncher.h"

#include "UserSettings.h"

#include <QDesktopServices>
#include <QProcess>
#include <QUrl>

namespace Kalvoro {

namespace {

const char* const EditorKey = "Editor/Command";

} // namespace

QString TDesktopEditorLauncher::Template() const {
  return UserSettings().value(QLatin1String(EditorKey)).toString();
}

void TDesktopEditorLauncher::SetTemplate(const QString& aTemplate) {
  UserSettings().setValue(QLatin1String(EditorKey), aTemplate);
}

bool TDesktopEditorLauncher::Start(const TEditorCommand& aCommand) {
  return QProcess::startDetached(aCommand.Program, aCommand.Arguments);
}

bool TDesktopEditorLauncher::OpenWithDesktop(const QString& aFile) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(aFile));
}

} // namespace Kalvoro
