// Where the run host (kalvoro-host) is: in the folder "kalvoro" beside the
// framework library, both in the build tree and once installed
// (lib/<triplet>/kalvoro/kalvoro-host), so that every program that links the
// framework finds the host that belongs to it.
#pragma once

#include "Export.h"

#include <string>

namespace Kalvoro {

// The host program's path, or an empty text when it is not there.
KALVORO_API std::string HostProgramPath();

} // namespace Kalvoro
