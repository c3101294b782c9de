// The program's side of the load trials (see ModuleTrial.h): each step is
// tried in a fork of the program, unless trials are switched off.
#include "ModuleTrial.h"

#include "CrashGuard.h"

#include <atomic>

namespace Kalvoro {

namespace {
std::atomic<double> TimeLimit{10.0};
std::atomic<std::size_t> TrialsStarted{0};
// Off in a run host, which is a disposable process already, and in the
// programs, whose hosts list a module before it may load there.
std::atomic<bool> TrialsEnabled{true};
} // namespace

void SetLoadTrialsEnabled(bool aEnabled) {
  TrialsEnabled = aEnabled;
}

bool LoadTrialsEnabled() {
  return TrialsEnabled;
}

std::string TryStartUp(const std::string& aPath, int aFlags) {
  return TrialsEnabled ? TryStartUpInFork(aPath, aFlags) : std::string();
}

std::string TryShutDown(void* aHandle) {
  return TrialsEnabled ? TryShutDownInFork(aHandle) : std::string();
}

void CountTrialStarted() {
  ++TrialsStarted;
}

std::size_t LoadTrialsStarted() {
  return TrialsStarted.load();
}

void SetLoadTrialTimeLimit(double aSeconds) {
  TimeLimit = aSeconds;
}

double LoadTrialTimeLimit() {
  return TimeLimit.load();
}

std::string LoadTrialTimeLimitText(double aSeconds) {
  return "Start-up or shut-down did not end within " + SecondsText(aSeconds) + " s";
}

} // namespace Kalvoro
