// The results view. For now a stand-in that shows its caption.
#pragma once

#include "FPlaceholder.h"

namespace Kalvoro {

class IDialogs;

class TResultsFrame : public TPlaceholderFrame {
  Q_OBJECT

public:
  explicit TResultsFrame(IDialogs& aDialogs, QWidget* aOwner = nullptr);
};

} // namespace Kalvoro
