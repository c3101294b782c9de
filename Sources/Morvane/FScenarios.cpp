#include "FScenarios.h"

#include "Images.h"

namespace Kalvoro {

TScenariosFrame::TScenariosFrame(IDialogs& /*aDialogs*/, QWidget* aOwner)
    : TPlaceholderFrame(QStringLiteral("Scenario's"), QStringLiteral("&Scenario's"),
                        NavigationImages().value(1), aOwner) {
  setObjectName(QStringLiteral("ScenariosFrame"));
}

} // namespace Kalvoro
