// The module's Register entry point, called once after the module is loaded
// and before its unit tests are enumerated.
#include "UnitTests.h"

extern "C" KALVORO_EXPORT void Register() {}
