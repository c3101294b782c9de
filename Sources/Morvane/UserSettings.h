// Morvane's settings of the user, not of the project (Qt's per-user settings
// file): every project opens in the user's editor, with the user's toggles.
#pragma once

#include <QSettings>

namespace Kalvoro {

inline QSettings UserSettings() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Kalvoro"),
                   QStringLiteral("Morvane"));
}

} // namespace Kalvoro
