// The image lists of the manager's windows: icons of the desktop theme where
// one fits, drawn ones where none does (module states, the views).
#pragma once

#include <QIcon>
#include <QList>

namespace Kalvoro {

// The main window's action images: 0 New, 1 Open, 2 Save, 3 Save As, 4 Print,
// 5 Exit, 6 Modules, 7 Scenario's, 8 Results.
QList<QIcon> MainActionImages();
// The navigation bar's images (shown at 32 x 32): 0 Modules, 1 Scenario's, 2 Results.
QList<QIcon> NavigationImages();
// The modules view's action images: 0 Add, 1 Remove, 2 Load, 3 Unload,
// 4 Remove All, 5 Load All, 6 Unload All.
QList<QIcon> ModuleActionImages();
// The modules tree's images: 0 not loaded, 1 loaded, 2 load failed, 3 unit
// test, 4 test method.
QList<QIcon> ModuleTreeImages();
// The program's own icon.
QIcon ApplicationIcon();

// Makes the common icon theme the fallback of desktops that have none of their
// own; call before the first icon is made.
void InitializeIconTheme();

// Icons of the theme, by freedesktop name, or the fallback when the theme has none.
QIcon ThemeIcon(const char* aName, const QIcon& aFallback);

} // namespace Kalvoro
