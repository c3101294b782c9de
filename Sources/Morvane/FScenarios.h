// The scenarios view. For now a stand-in that shows its caption.
#pragma once

#include "FPlaceholder.h"

namespace Kalvoro {

class IDialogs;

class TScenariosFrame : public TPlaceholderFrame {
  Q_OBJECT

public:
  explicit TScenariosFrame(IDialogs& aDialogs, QWidget* aOwner = nullptr);
};

} // namespace Kalvoro
