// Start-up and shut-down entries of a package module (.bpl). The loader calls
// Initialize after mapping the package and Finalize before releasing it; the
// shut-down destroys the module's registry.
#include "UnitTest.h"

extern "C" KALVORO_EXPORT void Initialize() {}

extern "C" KALVORO_EXPORT void Finalize() {
  Kalvoro::DestroyUnitTestRegistry();
}
