// One or more trial processes over a list of module files (the host
// program as "kalvoro-host --trial", Sources/Host/Trial.cpp): hands them the
// paths, reads one outcome per module within the time limit, and starts a
// fresh trial for the rest after a module that ended the trial.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace Kalvoro {

// What a trial saw a module's start-up and shut-down do: empty when the step
// came through, else what ended it.
struct TOutcome {
  std::string StartUp;
  std::string ShutDown;
};
using TOutcomes = std::vector<std::optional<TOutcome>>;

// Tries every path, in as many trial processes as crashes make necessary;
// the modules no trial could be started for (no host program, no process)
// are left without an outcome.
TOutcomes RunTrials(const std::vector<std::string>& aPaths, int aFlags);

} // namespace Kalvoro
