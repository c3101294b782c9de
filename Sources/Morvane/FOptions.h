// The dialog of Project > Options...: whether tests run in a separate
// process, and the time limit per phase.
#pragma once

#include "ProjectOptionsPresenter.h"

class QWidget;

namespace Kalvoro {

class IDialogs;

// Shows aFields in the options dialog (through aDialogs->Execute) and, when
// the user presses OK, gives back what the controls hold.
bool ShowOptionsDialog(IDialogs& aDialogs, TOptionsFields& aFields, QWidget* aParent = nullptr);

} // namespace Kalvoro
