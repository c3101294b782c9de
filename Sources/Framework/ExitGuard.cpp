// Keeps test code from ending the process. The library defines exit and
// quick_exit; every module and program that uses the library looks the
// library up before the C library, so their calls bind here. Inside a guarded
// phase of the calling thread the call ends the phase as a crash does (the
// phase's exception reads "exit(3) called by the test") and the run goes on;
// anywhere else the call goes on to the C library's own function.
//
// Not caught: _exit and _Exit (meant to end the process at once, e.g. in a
// forked child), calls from a thread that is in no guarded phase, and calls
// that do not go through the dynamic symbol (a statically linked C library,
// the C library's own call when main returns).
#include "CrashGuard.h"

#include <dlfcn.h>
#include <pthread.h>

#include <cstdlib>

namespace Kalvoro {

namespace {

using TExitFunction = void (*)(int);

// The frames a forked child inherits from its parent's thread. An exit in
// the child inside one of them ends the child: jumping there would run the
// rest of the parent's run in the child.
[[gnu::tls_model("initial-exec")]] thread_local TCrashFrame* InheritedFrames = nullptr;

void MarkInheritedFrames() {
  InheritedFrames = CurrentCrashFrame();
}

struct TForkWatch {
  TForkWatch() { pthread_atfork(nullptr, nullptr, &MarkInheritedFrames); }
};
const TForkWatch ForkWatch;

// The frame an exit call is to end, or nullptr when the process is to end.
TCrashFrame* FrameToEnd() {
  TCrashFrame* Top = CurrentCrashFrame();
  for (const TCrashFrame* Frame = InheritedFrames; Frame != nullptr && Top != nullptr;
       Frame = Frame->Outer)
    if (Frame == Top)
      return nullptr;
  return Top;
}

// Ends the innermost guarded phase if there is one; returns otherwise.
void EndPhase(const char* aCall, int aStatus) {
  TCrashFrame* Frame = FrameToEnd();
  if (Frame == nullptr)
    return;
  Frame->ExitCall = aCall;
  Frame->ExitStatus = aStatus;
  siglongjmp(Frame->Env, 1);
}

[[noreturn]] void EndProcess(const char* aCall, int aStatus) {
  const auto Next = reinterpret_cast<TExitFunction>(dlsym(RTLD_NEXT, aCall));
  if (Next != nullptr)
    Next(aStatus);
  std::_Exit(aStatus);
}

} // namespace

} // namespace Kalvoro

extern "C" {

KALVORO_API void exit(int aStatus) noexcept {
  Kalvoro::EndPhase("exit", aStatus);
  Kalvoro::EndProcess("exit", aStatus);
}

KALVORO_API void quick_exit(int aStatus) noexcept {
  Kalvoro::EndPhase("quick_exit", aStatus);
  Kalvoro::EndProcess("quick_exit", aStatus);
}

} // extern "C"
