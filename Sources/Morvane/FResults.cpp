#include "FResults.h"

#include "Images.h"

namespace Kalvoro {

TResultsFrame::TResultsFrame(IDialogs& /*aDialogs*/, QWidget* aOwner)
    : TPlaceholderFrame(QStringLiteral("Results"), QStringLiteral("&Results"),
                        NavigationImages().value(2), aOwner) {
  setObjectName(QStringLiteral("ResultsFrame"));
}

} // namespace Kalvoro
