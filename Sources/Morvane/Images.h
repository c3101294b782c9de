// The image lists of the manager's main window and modules view: icons of the
// desktop theme where one fits (the file commands), else the SVG drawings in
// Icons/ (main.qrc, modules.qrc). The enums of their indexes belong to the
// presenters (MainImages.h, ModuleImages.h).
#pragma once

#include "MainImages.h"
#include "ModuleImages.h"

#include <QIcon>
#include <QList>

namespace Kalvoro {

// The main window's action images (TMainActionImage) and the navigation bar's
// (TNavigationImage), in list order.
QList<QIcon> MainActionImages();
QList<QIcon> NavigationImages();

// The modules view's action images (TModuleActionImage) and its tree's
// (TModuleTreeImage), in list order.
QList<QIcon> ModuleActionImages();
QList<QIcon> ModuleTreeImages();
// The program's own icon.
QIcon ApplicationIcon();

// Makes the common icon theme the fallback of desktops that have none of their
// own; call before the first icon is made.
void InitializeIconTheme();

// Icons of the theme, by freedesktop name, or the fallback when the theme has none.
QIcon ThemeIcon(const char* aName, const QIcon& aFallback);

} // namespace Kalvoro
