#include "Editor.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace Kalvoro {

QStringList EditorTemplates() {
  return {QStringLiteral("code -g {file}:{line}"), QStringLiteral("kate --line {line} {file}"),
          QStringLiteral("qtcreator {file}:{line}"),
          QStringLiteral("emacsclient -n +{line} {file}"), QStringLiteral("gvim +{line} {file}")};
}

TEditorCommand EditorCommand(const QString& aTemplate, const QString& aFile, int aLine) {
  QStringList Words = QProcess::splitCommand(aTemplate);
  TEditorCommand Result;
  if (Words.isEmpty())
    return Result;
  const QString Line = QString::number(aLine);
  for (QString& Word : Words)
    Word.replace(QStringLiteral("{file}"), aFile).replace(QStringLiteral("{line}"), Line);
  Result.Program = Words.takeFirst();
  Result.Arguments = Words;
  return Result;
}

QString FindSourceFile(const QString& aFile, const QStringList& aFolders) {
  if (aFile.isEmpty())
    return {};
  if (QFileInfo(aFile).isAbsolute())
    return QFileInfo(aFile).isFile() ? QDir::cleanPath(aFile) : QString();
  for (const QString& Folder : aFolders) {
    if (Folder.isEmpty())
      continue;
    const QString Candidate = QDir::cleanPath(QDir(Folder).absoluteFilePath(aFile));
    if (QFileInfo(Candidate).isFile())
      return Candidate;
  }
  return {};
}

QString OpenSourceFile(IEditorLauncher& aLauncher, const QString& aFile, int aLine,
                       const QStringList& aFolders) {
  const QString Found = FindSourceFile(aFile, aFolders);
  if (Found.isEmpty())
    return QStringLiteral("File not found: %1").arg(aFile);
  const TEditorCommand Command = EditorCommand(aLauncher.Template(), Found, aLine);
  if (Command.Program.isEmpty())
    return aLauncher.OpenWithDesktop(Found)
               ? QString()
               : QStringLiteral("No program opens %1; choose an editor in Tools > Preferences...")
                     .arg(Found);
  return aLauncher.Start(Command)
             ? QString()
             : QStringLiteral("The editor \"%1\" could not be started").arg(Command.Program);
}

} // namespace Kalvoro
