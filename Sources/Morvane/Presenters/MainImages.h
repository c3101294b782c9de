// The indexes of the main window's image lists. The lists themselves are made
// by the view (Images.h), with the desktop theme's icons where one fits.
#pragma once

namespace Kalvoro {

// The main window's action images, in list order.
enum TMainActionImage {
  maiNew,
  maiOpen,
  maiSave,
  maiSaveAs,
  maiPrint,
  maiExit,
  maiModules,
  maiScenarios,
  maiResults
};

// The navigation bar's images (shown at 32 x 32), in list order.
enum TNavigationImage { niModules, niScenarios, niResults };

} // namespace Kalvoro
