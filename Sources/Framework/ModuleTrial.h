// Trials of a module's start-up and shut-down in a short-lived process.
//
// A library's static constructors run inside dlopen, and its static
// destructors inside dlclose, with the dynamic loader's lock taken. A crash
// there cannot be jumped out of safely: the lock stays taken and the loader's
// lists stay half-updated, so the next dlopen in another thread hangs. So the
// steps are first taken in a trial process, and the program only takes a step
// that came through there.
//
// The trial process is the host program started as "kalvoro-host --trial"
// (Sources/Host/Trial.cpp): it loads and then unloads each module given, so
// the trial of a load also tells how the later unload will go, and many
// modules are tried by one process. Its cost does not grow with the program.
// It is not a copy of the program, though: a start-up that depends on the
// program's own state may pass the trial and still crash in the program.
//
// A program of its own that links the library has no host program beside it;
// there each step is tried in a fork of the program instead (ForkTrial.cpp),
// which costs what the program's memory costs but sees its state.
#pragma once

#include "Export.h"

#include <dlfcn.h>

#include <memory>
#include <string>
#include <vector>

namespace Kalvoro {

// The trial of the start-up of the library at aPath (as dlopen(aPath,
// aFlags) would run it): what ended it ("Access violation (SIGSEGV)",
// "exit(3) called by the test", a time-limit text), or empty when it came
// through or the loader refused the file (the caller's own dlopen then tells
// why). The outcome of its shut-down is kept for TryShutDown.
std::string TryStartUp(const std::string& aPath, int aFlags);

// The trial of dlclose(aHandle): what the trial of its load saw its shut-down
// do, or where there was none, a trial in a fork now.
std::string TryShutDown(void* aHandle);

// The modules that a program is about to load (a project's), tried in one
// trial process before the first of them loads, in the order given, each on
// its own: a crash refuses that module only. While the object lives,
// TryStartUp in the same thread answers from it for a file it has tried and
// that has not changed since.
class KALVORO_API TLoadTrials {
public:
  explicit TLoadTrials(const std::vector<std::string>& aPaths);
  ~TLoadTrials();
  TLoadTrials(const TLoadTrials&) = delete;
  TLoadTrials& operator=(const TLoadTrials&) = delete;

  struct TResults;

private:
  friend std::string TryStartUp(const std::string& aPath, int aFlags);

  std::unique_ptr<TResults> FResults;
  TLoadTrials* FOuter;
};

// A module file whose start-up and shut-down have both run in this program
// without a fault (TModule loaded it and then unloaded it, through the
// guards) is not tried again while the file is unchanged: the program itself
// has taken both steps. Its identity is its device, inode, size and times,
// so a rebuilt or replaced file is tried again. What the steps depend on
// outside the file (a file or variable a start-up reads) is not seen.
//
// TModule tells of each library it loaded or failed to load from the open
// file aFile: aProven when its load and its whole unload came through; false
// after a fault or a refused load, which forgets the file.
void NoteProven(int aFile, bool aProven);

// Forgets every proven file: for a program that has changed what the
// modules' start-ups depend on.
KALVORO_API void ForgetProvenModules();

// The number of trial processes started so far, host program or fork.
KALVORO_API std::size_t LoadTrialsStarted();
void CountTrialStarted();

// The flags with which TModule loads a library, and TLoadTrials tries it.
inline constexpr int ModuleOpenFlags = RTLD_NOW | RTLD_LOCAL;

// How long the trial waits for one module's load and unload (10 s unless
// set): a start-up or shut-down that takes longer is refused with "Start-up
// or shut-down did not end within N s".
KALVORO_API void SetLoadTrialTimeLimit(double aSeconds);

// Whether steps are tried at all (on unless switched off): a run host loads
// its module without a trial, being a disposable process itself.
KALVORO_API void SetLoadTrialsEnabled(bool aEnabled);

// The time limit as set, and the text of a trial that exceeded it.
KALVORO_API double LoadTrialTimeLimit();
std::string LoadTrialTimeLimitText(double aSeconds);

// The fork trials of the program without a host program (ForkTrial.cpp).
std::string TryStartUpInFork(const std::string& aPath, int aFlags);
std::string TryShutDownInFork(void* aHandle);

} // namespace Kalvoro
