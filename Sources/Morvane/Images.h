// The image lists of the manager's main window and modules view: icons of the
// desktop theme where one fits (the file commands), else the SVG drawings in
// Icons/ (main.qrc, modules.qrc). Each list has an enum of its indexes.
#pragma once

#include <QIcon>
#include <QList>

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
QList<QIcon> MainActionImages();

// The navigation bar's images (shown at 32 x 32), in list order.
enum TNavigationImage { niModules, niScenarios, niResults };
QList<QIcon> NavigationImages();

// The modules view's action images, in list order.
enum TModuleActionImage {
  mdaAdd,
  mdaRemove,
  mdaLoad,
  mdaUnload,
  mdaRemoveAll,
  mdaLoadAll,
  mdaUnloadAll
};
QList<QIcon> ModuleActionImages();

// The modules tree's images, in list order: a module in each of its three
// states, a unit test and a test method.
enum TModuleTreeImage { mtiNotLoaded, mtiLoaded, mtiLoadFailed, mtiUnitTest, mtiMethod };
QList<QIcon> ModuleTreeImages();
// The program's own icon.
QIcon ApplicationIcon();

// Makes the common icon theme the fallback of desktops that have none of their
// own; call before the first icon is made.
void InitializeIconTheme();

// Icons of the theme, by freedesktop name, or the fallback when the theme has none.
QIcon ThemeIcon(const char* aName, const QIcon& aFallback);

} // namespace Kalvoro
