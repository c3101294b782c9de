// A module of the right version that exports Register but no
// EnumRegisteredUnitTests. RegisterCalls counts the calls of Register.
#include "Export.h"

extern "C" {
KALVORO_EXPORT int RegisterCalls = 0;
KALVORO_EXPORT void Register() {
  ++RegisterCalls;
}
KALVORO_EXPORT unsigned KalvoroModuleAbiVersion() {
  return Kalvoro::KalvoroAbiVersion;
}
}
