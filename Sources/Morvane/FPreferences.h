// The dialog of Tools > Preferences...: the user's own settings, today the
// editor that opens a failure's file at its line.
#pragma once

#include "PreferencesPresenter.h"

class QWidget;

namespace Kalvoro {

class IDialogs;

// Shows aFields in the preferences dialog (through aDialogs.Execute) and,
// when the user presses OK, gives back what the controls hold.
bool ShowPreferencesDialog(IDialogs& aDialogs, TPreferencesFields& aFields,
                           QWidget* aParent = nullptr);

} // namespace Kalvoro
