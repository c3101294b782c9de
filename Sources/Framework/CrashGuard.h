// Turns a crash inside a guarded phase (SIGSEGV, SIGFPE, SIGBUS, SIGILL,
// SIGABRT, stack overflow included) into an Exception naming the signal, so
// that the run goes on with the next phase.
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
KALVORO_API void PopCrashFrame(TCrashFrame* aFrame);
// The error text for a caught signal, e.g. "Access violation (SIGSEGV)".
KALVORO_API std::string CrashText(const TCrashFrame& aFrame);

// Calls aBody; a crash inside it raises Exception(CrashText) from here.
template <class TBody> void RunGuarded(TBody&& aBody) {
  TSignalScope Scope;
  TCrashFrame Frame;
  // The frame must be pushed before sigsetjmp and stay untouched across it.
  PushCrashFrame(&Frame);
  if (sigsetjmp(Frame.Env, 1) != 0) {
    PopCrashFrame(&Frame);
    throw Exception(CrashText(Frame));
  }
  try {
    std::forward<TBody>(aBody)();
  } catch (...) {
    PopCrashFrame(&Frame);
    throw;
  }
  PopCrashFrame(&Frame);
}

} // namespace Kalvoro
