// Turns a crash inside a guarded phase (SIGSEGV, SIGFPE, SIGBUS, SIGILL,
// SIGABRT, stack overflow included) into an Exception naming the signal, so
// that the run goes on with the next phase. A phase may have a time limit: a
// per-thread timer then sends the thread a signal when the limit has passed,
// and the same jump ends the phase with "Time limit of N s exceeded". A call
// of exit or quick_exit in the phase takes the same jump (ExitGuard.cpp).
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
// counted as closed.
KALVORO_API void LeaveCrashFrame(TCrashFrame* aFrame);
// How many phases a crash or a time limit has ended in this process so far:
// a run host that caught one no longer trusts its own state.
KALVORO_API unsigned CrashesCaught() noexcept;
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
  PushCrashFrame(&Frame);
  if (sigsetjmp(Frame.Env, 1) != 0) {
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
