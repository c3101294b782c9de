// The modules that a run host has loaded, by the path it loaded them from,
// kept loaded for its later plans as a program keeps its own, with the
// file that each was loaded from.
#pragma once

#include "UnitTestBase.h"

#include <map>
#include <memory>
#include <string>

namespace Kalvoro {

struct TLoadedModule {
  std::unique_ptr<TModule> Module;
};
using TLoadedModules = std::map<std::string, TLoadedModule>;

} // namespace Kalvoro
