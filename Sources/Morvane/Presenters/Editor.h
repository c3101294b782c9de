// Opening a failure's source file at its line in the user's editor: the
// editor is a per-user command template with {file} and {line}, split into
// a program and its arguments before they are put in (never through a
// shell); without one the desktop opens the file. Starting things goes
// through a seam, so that tests never start an editor.
#pragma once

#include <QString>
#include <QStringList>

namespace Kalvoro {

// Templates offered in the preferences dialog.
QStringList EditorTemplates();

struct TEditorCommand {
  QString Program; // empty: the template was empty
  QStringList Arguments;
};

// The template split as a command line's words (QProcess::splitCommand),
// then {file} and {line} put into each word, so that a file name with
// spaces or quotes stays one argument.
TEditorCommand EditorCommand(const QString& aTemplate, const QString& aFile, int aLine);

// aFile as a check names it (often relative, as __FILE__ is), found: an
// absolute name as it is, a relative one from each of aFolders in turn.
// Empty when no such file exists.
QString FindSourceFile(const QString& aFile, const QStringList& aFolders);

// What starts the editor and keeps its template (the user's settings).
class IEditorLauncher {
public:
  virtual ~IEditorLauncher() = default;
  virtual QString Template() const = 0;
  virtual void SetTemplate(const QString& aTemplate) = 0;
  // Starts the program detached; false when it could not start.
  virtual bool Start(const TEditorCommand& aCommand) = 0;
  // Has the desktop open the file; false when it could not.
  virtual bool OpenWithDesktop(const QString& aFile) = 0;
};

// Opens aFile at aLine through aLauncher: with its template, else with the
// desktop. Returns what the status bar says: empty when it opened; else the
// missing file or the editor that did not start.
QString OpenSourceFile(IEditorLauncher& aLauncher, const QString& aFile, int aLine,
                       const QStringList& aFolders);

} // namespace Kalvoro
