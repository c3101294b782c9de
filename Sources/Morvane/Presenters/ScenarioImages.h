// The images of the scenarios view: its tree's two images, its commands'
// images and the two-state images of the button strip between its trees.
#pragma once

#include <QIcon>
#include <QList>

namespace Kalvoro {

// The scenario tree's and the available list's images, by index into
// ScenarioTreeImages().
enum TScenarioTreeImage {
  stiUnitTest, // a page of lines
  stiScenario, // a stack of pages
};

QList<QIcon> ScenarioTreeImages();

// The view's command images, by index into ScenarioActionImages().
enum TScenarioActionImage { saiEnable, saiDisable, saiAdd, saiRemove, saiRename };

QList<QIcon> ScenarioActionImages();

// The strip buttons' images, by index into ScenarioStripImages(): each icon
// has an image of its own for the disabled state.
enum TScenarioStripImage { ssiAddSelected, ssiAddAll, ssiRemoveAll, ssiRemoveSelected };

QList<QIcon> ScenarioStripImages();

} // namespace Kalvoro
