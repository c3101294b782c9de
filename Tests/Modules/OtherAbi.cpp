// A complete module built for an earlier framework version. None of its code may
// run: its Register leaves a mark in the environment if it is called.
#include "UnitTestBase.h"

#include <cstdlib>

extern "C" {
KALVORO_EXPORT void Register() {
  setenv("KALVORO_OTHER_ABI_REGISTERED", "1", 1);
}
KALVORO_EXPORT void EnumRegisteredUnitTests(Kalvoro::TEnumUnitTestProc, void*) {}
// The version before checks carried their place in the sources.
KALVORO_EXPORT unsigned KalvoroModuleAbiVersion() {
  return 3;
}
}
