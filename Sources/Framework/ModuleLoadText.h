// The wording of a module that could not be loaded, which the framework, the
// listers of every kind, the host program and the in-process runner share:
// the same failure reads the same wherever it is told.
#pragma once

#include <string>

namespace Kalvoro {

// The error of a failed load or listing: the loader's reason, if any, is
// kept beside it (TModule::LoaderError).
inline std::string LoadFailure(const std::string& aFileName) {
  return "Failed to load package or library \"" + aFileName + "\"";
}

inline std::string UnloadFailure(const std::string& aFileName) {
  return "Failed to unload package or library \"" + aFileName + "\"";
}

// Why a listed module's methods cannot run: the load's error, then the
// loader's reason when it gave one.
inline std::string LoadProblem(const std::string& aError, const std::string& aLoaderError) {
  return aLoaderError.empty() ? aError : aError + ": " + aLoaderError;
}

} // namespace Kalvoro
