// The program's version and the titles built from it, and the application's
// title: the caption of every message box the program shows.
#pragma once

#include "Export.h"

#include <QString>

namespace Kalvoro {

// The program's version, shown in captions and the about box.
inline constexpr const char* MorvaneVersion = KalvoroVersion;

// "Morvane v0.7.0", the window caption and application title once the main
// window exists.
QString MainTitle();

// The application's title: "Morvane" until the main window is created (or the
// application's name when no title was set).
QString ApplicationTitle();
void SetApplicationTitle(const QString& aTitle);

} // namespace Kalvoro
