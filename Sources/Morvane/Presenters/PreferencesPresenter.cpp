#include "PreferencesPresenter.h"

#include "Dialogs.h"
#include "Editor.h"
#include "Titles.h"

#include <QProcess>

namespace Kalvoro {

QString EditorTemplateProblem(const QString& aTemplate) {
  const QStringList Words = QProcess::splitCommand(aTemplate);
  if (Words.isEmpty())
    return {};
  // The first word is the program; the file goes in as one of its arguments.
  for (qsizetype I = 1; I < Words.size(); ++I)
    if (Words[I].contains(QLatin1String("{file}")))
      return {};
  return QStringLiteral("The editor command \"%1\" names no {file} among its arguments: it "
                        "would not know which file to open. Put {file} (and {line}) where the "
                        "editor takes them, or leave it empty for the desktop's program.")
      .arg(aTemplate.trimmed());
}

bool EditPreferences(IEditorLauncher& aSettings, IDialogs& aDialogs,
                     const TPreferencesDialog& aDialog) {
  TPreferencesFields Fields{aSettings.Template(), EditorTemplates()};
  for (;;) {
    if (!aDialog(Fields))
      return false;
    const QString Problem = EditorTemplateProblem(Fields.Editor);
    if (Problem.isEmpty()) {
      const QString Editor = Fields.Editor.trimmed();
      if (Editor == aSettings.Template())
        return false;
      aSettings.SetTemplate(Editor);
      return true;
    }
    aDialogs.ShowError(ApplicationTitle(), Problem);
  }
}

} // namespace Kalvoro
