// Where the framework library and the run host (kalvoro-host) are: the host
// lies in the folder "kalvoro" beside the library, both in the build tree and
// once installed (lib/<triplet>/kalvoro/kalvoro-host), so that every program
// that links the framework finds the host that belongs to it.
#pragma once

#include <string>

namespace Kalvoro {

// The file of the framework library that this process loaded, or an empty
// text when the loader does not tell.
std::string LibraryPath();

// The host program's path, or an empty text when it is not there.
std::string HostProgramPath();

} // namespace Kalvoro
