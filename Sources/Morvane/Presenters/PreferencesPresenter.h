// Tools > Preferences...: the user's own settings (Qt's per-user settings
// file, not the project) as the preferences dialog shows them, without any
// widget; the dialog itself is the view's. Today they are the editor that
// opens a failure's file at its line.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace Kalvoro {

class IDialogs;
class IEditorLauncher;

// What the preferences dialog shows and gives back.
struct TPreferencesFields {
  // The editor's command template ({file} and {line} put in); empty for the
  // desktop's program for the file.
  QString Editor;
  // Offered in the editor's list; the user may type any other.
  QStringList EditorChoices;

  bool operator==(const TPreferencesFields&) const = default;
};

// Shows the fields modally; true when the user confirmed them (OK).
using TPreferencesDialog = std::function<bool(TPreferencesFields& aFields)>;

// Why the editor template cannot be taken, or empty when it can: a template
// must name {file} in its arguments, else no file would open (empty, the
// desktop's program, is fine).
QString EditorTemplateProblem(const QString& aTemplate);

// Opens the dialog with the user's settings until the user cancels or
// confirms values that can be taken (a template that cannot is refused with
// an error box, and the dialog opens again with what was typed). The
// template is kept trimmed. Returns whether a setting changed.
bool EditPreferences(IEditorLauncher& aSettings, IDialogs& aDialogs,
                     const TPreferencesDialog& aDialog);

} // namespace Kalvoro
