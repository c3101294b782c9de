// The images of the results view: the ten images of its tree (one list for
// both images of a row) and the images of its commands.
#pragma once

#include <QIcon>
#include <QList>

namespace Kalvoro {

// The results tree's images, by index into ResultTreeImages().
enum TResultTreeImage {
  rtiUnitTest,  // a stack of pages
  rtiMethod,    // a single page
  rtiTodo,      // a blue question mark: not run
  rtiSuccess,   // a white tick on a green disc
  rtiFailure,   // a white cross on a red disc
  rtiException, // a white exclamation mark on a red disc
  rtiScenario,  // a yellow folder
  // The result images with a mark over them (a method's new or fixed result).
  rtiNewFailure,   // the failure with a yellow star
  rtiNewException, // the exception with a yellow star
  rtiFixed,        // the success with a blue arrow turning round
};

QList<QIcon> ResultTreeImages();

// The results view's command images, by index into ResultActionImages().
enum TResultActionImage {
  raiStart,
  raiStartAll,
  raiSaveSummary,
  raiSaveLog,
  raiSaveErrors,
  raiRunSelected,
  raiRunFailed,
};

QList<QIcon> ResultActionImages();

} // namespace Kalvoro
