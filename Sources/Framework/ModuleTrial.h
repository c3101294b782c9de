// Trials of a module's start-up and shut-down in a short-lived process.
//
// A library's static constructors run inside dlopen, and its static
// destructors inside dlclose, with the dynamic loader's lock taken. A crash
// there cannot be jumped out of safely: the lock stays taken and the loader's
// lists stay half-updated, so the next dlopen in another thread hangs. So a
// program that loads modules itself first takes each step in a fork of
// itself (ForkTrial.cpp), which sees the program's state, and only takes a
// step that came through there. The programs of this project do not: their
// run hosts list each module (the listing is the trial), and they switch
// the trials off.
#pragma once

#include "Export.h"

#include <dlfcn.h>

#include <string>

namespace Kalvoro {

// The trial of the start-up of the library at aPath (as dlopen(aPath,
// aFlags) would run it): what ended it ("Access violation (SIGSEGV)",
// "exit(3) called by the test", a time-limit text), or empty when it came
// through or the loader refused the file (the caller's own dlopen then tells
// why). In a fork of the program; empty at once when trials are off.
std::string TryStartUp(const std::string& aPath, int aFlags);

// The trial of dlclose(aHandle) in a fork.
std::string TryShutDown(void* aHandle);

// The number of trial processes started so far.
KALVORO_API std::size_t LoadTrialsStarted();
void CountTrialStarted();

// The flags with which TModule loads a library, and a trial tries it.
inline constexpr int ModuleOpenFlags = RTLD_NOW | RTLD_LOCAL;

// How long a trial waits for one step (10 s unless set): a start-up or
// shut-down that takes longer is refused with "Start-up or shut-down did not
// end within N s".
KALVORO_API void SetLoadTrialTimeLimit(double aSeconds);

// Whether steps are tried at all (on unless switched off): a run host loads
// its module without a trial, being a disposable process itself, and so do
// the programs, whose hosts listed the module first.
KALVORO_API void SetLoadTrialsEnabled(bool aEnabled);
KALVORO_API bool LoadTrialsEnabled();

// The time limit as set, and the text of a trial that exceeded it.
KALVORO_API double LoadTrialTimeLimit();
std::string LoadTrialTimeLimitText(double aSeconds);

// The trials in a fork (ForkTrial.cpp).
std::string TryStartUpInFork(const std::string& aPath, int aFlags);
std::string TryShutDownInFork(void* aHandle);

} // namespace Kalvoro
