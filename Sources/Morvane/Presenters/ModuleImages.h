// The indexes of the modules view's image lists. The lists themselves are
// made by the view (Images.h) from the drawings in Icons/modules.qrc.
#pragma once

namespace Kalvoro {

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

// The modules tree's images, in list order: a module in each of its three
// states, a unit test and a test method.
enum TModuleTreeImage { mtiNotLoaded, mtiLoaded, mtiLoadFailed, mtiUnitTest, mtiMethod };

} // namespace Kalvoro
