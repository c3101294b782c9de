// Project > Options...: the project's run options as the options dialog
// shows them, without any widget; the dialog itself is the view's.
#pragma once

#include <QString>

#include <functional>
#include <optional>

namespace Kalvoro {

class IDialogs;
class TProject;

// What the options dialog shows and gives back.
struct TOptionsFields {
  // "Run tests in a separate process".
  bool Hosts = true;
  // "Time limit per phase": whole seconds as typed; empty for none.
  QString TimeLimit;
  // "Tests run at once": unit tests in hosts of their own (1 to MaxJobs;
  // in process they run one at a time whatever it says).
  int Jobs = 1;

  bool operator==(const TOptionsFields&) const = default;
};

// Shows the fields modally; true when the user confirmed them (OK).
using TOptionsDialog = std::function<bool(TOptionsFields& aFields)>;

// The longest time limit the dialog takes (a week).
inline constexpr int MaxTimeLimit = 7 * 24 * 3600;

// The time limit that aText gives: empty (blanks around it ignored) is 0,
// none; otherwise whole seconds from 0 to MaxTimeLimit. Anything else: none.
std::optional<int> ParseTimeLimit(const QString& aText);

// Opens the dialog with the project's options until the user cancels or
// confirms values that can be taken (a time limit that cannot is refused
// with an error box, and the dialog opens again with what was typed). A
// change is stored in the project and marks it modified; no change leaves
// the project as it was. Returns whether the options changed.
bool EditProjectOptions(TProject& aProject, IDialogs& aDialogs, const TOptionsDialog& aDialog);

} // namespace Kalvoro
