// Placeholder until the load trial moves into the host program.
#include "Trial.h"

namespace Kalvoro {

int TrialMain(int /*argc*/, char** /*argv*/) {
  return 2;
}

} // namespace Kalvoro
