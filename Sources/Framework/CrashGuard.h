// Turns a crash inside a guarded phase (SIGSEGV, SIGFPE, SIGBUS, SIGILL,
// SIGABRT, stack overflow included) into an Exception naming the signal, so
// that the run goes on with the next phase. A phase may have a time limit: a
// per-thread timer then sends the thread a signal when the limit has passed,
// and the same jump ends the phase with "Time limit of N s exceeded". A call
// of exit, quick_exit, _exit or _Exit in the phase takes the same jump
// (ExitGuard.cpp).
//
// Frames that the jump skips run no destructors: objects that a crashing test
// method had on its stack are abandoned, not destroyed.
#pragma once

#include "Exception.h"

#include <csetjmp>
#include <string>
#include <utility>

namespace Kalvoro {

struct TCrashFrame {
  sigjmp_buf Env;
  int Signal = 0;
  int Code = 0;
  bool StackOverflow = false;
  bool TimedOut = false;
  // Set when test code called exit or quick_exit inside the phase
  // (ExitGuard.cpp): the function's name and the status it was given.
  const char* ExitCall = nullptr;
  int ExitStatus = 0;
  // CLOCK_MONOTONIC nanoseconds at which the phase is ended (0: never), and
  // the limit in seconds that set it (an outer phase's, if that ends first).
  long long Deadline = 0;
  double DeadlineLimit = 0;
  // The thread's open signal scopes when the frame was pushed.
  int Scopes = 0;
  // The process that pushed the frame: a copy of it in a child process
  // (fork, vfork, clone) is not that process's to end.
  int Process = 0;
  TCrashFrame* Outer = nullptr;
};

// Keeps the signal handlers installed while at least one scope is open; a
// scenario run opens one so that the phases inside do not reinstall them.
class KALVORO_API TSignalScope {
public:
  TSignalScope();
  ~TSignalScope();
  TSignalScope(const TSignalScope&) = delete;
  TSignalScope& operator=(const TSignalScope&) = delete;
};

KALVORO_API void PushCrashFrame(TCrashFrame* aFrame);
// The calling thread's innermost frame, or nullptr outside guarded phases.
KALVORO_API TCrashFrame* CurrentCrashFrame() noexcept;
KALVORO_API void PopCrashFrame(TCrashFrame* aFrame);
// Pops the frame that a jump has landed in; scopes that the jump skipped are
// counted as closed, and the signal whose handler jumped is unblocked again,
// which gives back the mask the phase had when the signal came.
KALVORO_API void LeaveCrashFrame(TCrashFrame* aFrame);
// How many guarded phases the calling thread has entered so far: what ran
// between two equal counts ran none of the test's code on this thread.
KALVORO_API unsigned GuardedPhasesEntered() noexcept;
// How many phases a crash or a time limit has ended in this process so far:
// a run host that caught one no longer trusts its own state.
KALVORO_API unsigned CrashesCaught() noexcept;
// The process the guards run in, known without a system call (kept up to
// date across fork; a child made by vfork or clone still reads its parent).
KALVORO_API int GuardedProcess() noexcept;
// Ends the calling process at once, running nothing of it, when it is not
// aProcess: a process that test code made must never come back from the test
// into the run (it would run the rest of it and write its reports again).
KALVORO_API void EndIfStranger(int aProcess) noexcept;
// Ends the process at once as _exit does, past the exit guard: for the
// framework's and the programs' own ends, also inside a guarded phase.
[[noreturn]] KALVORO_API void EndProcessNow(int aStatus) noexcept;

// Arms the thread's timer for the frame on top (aSeconds <= 0: no limit of
// its own; an outer phase's limit still applies).
KALVORO_API void StartTimeLimit(TCrashFrame* aFrame, double aSeconds);
// Called by a guarded phase when its body has returned: puts the guard back
// if the body changed signal handlers or masks, raises Exception(CrashText)
// if the phase's time ran out meanwhile (its timer's signal may have been
// held back), and lets the rest of the phase finish without a time limit.
KALVORO_API void EndGuardedBody();
// Whether the frame's deadline has passed.
KALVORO_API bool DeadlinePassed(const TCrashFrame& aFrame);
// Whether the calling thread's time-limit timer is armed now.
KALVORO_API bool TimeLimitArmed();
// A time limit as the messages show it: the shortest form, "1", "0.5".
KALVORO_API std::string SecondsText(double aSeconds);
// The error text for a caught signal, e.g. "Access violation (SIGSEGV)", or
// for a call that would have ended the process, "exit(3) called by the test".
KALVORO_API std::string CrashText(const TCrashFrame& aFrame);

// Calls aBody; a crash inside it, or running longer than aTimeLimit seconds
// (if above 0), raises Exception(CrashText) from here.
template <class TBody> void RunGuarded(TBody&& aBody, double aTimeLimit = 0) {
  TSignalScope Scope;
  TCrashFrame Frame;
  // The frame must be pushed before sigsetjmp and stay untouched across it.
  // The mask is not saved (a system call per phase): a jump from a signal's
  // handler unblocks that signal itself (LeaveCrashFrame).
  PushCrashFrame(&Frame);
  if (sigsetjmp(Frame.Env, 0) != 0) {
    LeaveCrashFrame(&Frame);
    throw Exception(CrashText(Frame));
  }
  try {
    StartTimeLimit(&Frame, aTimeLimit);
    std::forward<TBody>(aBody)();
  } catch (...) {
    PopCrashFrame(&Frame);
    throw;
  }
  // A phase whose time ran out while a nested run held the jump back.
  if (Frame.Deadline != 0 && DeadlinePassed(Frame)) {
    Frame.TimedOut = true;
    PopCrashFrame(&Frame);
    throw Exception(CrashText(Frame));
  }
  PopCrashFrame(&Frame);
}

} // namespace Kalvoro
