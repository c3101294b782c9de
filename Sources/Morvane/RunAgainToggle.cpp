#include "RunAgainToggle.h"

#include "UserSettings.h"

namespace Kalvoro {

namespace {
const char* const RunAgainKey = "Results/RunAgainAfterRebuild";
} // namespace

TRunAgainToggle::TRunAgainToggle(const std::function<void(bool)>& aChanged, QWidget* aParent)
    : QCheckBox(QStringLiteral("Run again after a rebuild"), aParent) {
  setObjectName(QStringLiteral("cbRunAgainAfterRebuild"));
  setAccessibleName(text());
  setToolTip(QStringLiteral("Run the last run again once rebuilt modules are listed"));
  setAccessibleDescription(toolTip());
  setChecked(UserSettings().value(QLatin1String(RunAgainKey), false).toBool());
  aChanged(isChecked());
  connect(this, &QCheckBox::toggled, this, [aChanged](bool aChecked) {
    aChanged(aChecked);
    UserSettings().setValue(QLatin1String(RunAgainKey), aChecked);
  });
}

} // namespace Kalvoro
