// Keeps test code from ending the process. The library defines exit,
// quick_exit, _exit and _Exit; every module and program that uses the
// library looks the library up before the C library, so their calls bind
// here. Inside a guarded phase of the calling thread, pushed by the calling
// process, the call ends the phase as a crash does (the phase's exception
// reads "exit(3) called by the test") and the run goes on; anywhere else the
// call goes on to the C library's own function, or for _exit and _Exit to the
// system call they make. A child process that a test made (fork, vfork or
// clone) thus still ends with its _exit or exit.
//
// Not caught: calls from a thread that is in no guarded phase, the
// exit_group system call made directly, and calls that do not go through
// the dynamic symbol (a statically linked C library, the C library's own
// call when main returns). Run hosts contain those.
#include "CrashGuard.h"

#include <dlfcn.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>

namespace Kalvoro {

namespace {

using TExitFunction = void (*)(int);

// The process's own id, refreshed in a forked child: read at every guarded
// phase, so it must cost no system call.
int OwnProcess = static_cast<int>(getpid());

void RefreshOwnProcess() {
  OwnProcess = static_cast<int>(getpid());
}

struct TForkWatch {
  TForkWatch() { pthread_atfork(nullptr, nullptr, &RefreshOwnProcess); }
};
const TForkWatch ForkWatch;

// The frame an exit call is to end, or nullptr when the process is to end:
// frames that a child inherited from its parent are not the child's.
TCrashFrame* FrameToEnd() {
  TCrashFrame* Top = CurrentCrashFrame();
  if (Top == nullptr || Top->Process != static_cast<int>(getpid()))
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
  EndProcessNow(aStatus);
}

} // namespace

int GuardedProcess() noexcept {
  return OwnProcess;
}

void EndIfStranger(int aProcess) noexcept {
  if (static_cast<int>(getpid()) != aProcess) [[unlikely]]
    EndProcessNow(0);
}

void EndProcessNow(int aStatus) noexcept {
  // What _exit does, without going through the symbol that test code reaches.
  for (;;) {
    syscall(SYS_exit_group, aStatus);
    syscall(SYS_exit, aStatus);
  }
}

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

KALVORO_API void _exit(int aStatus) {
  Kalvoro::EndPhase("_exit", aStatus);
  Kalvoro::EndProcessNow(aStatus);
}

KALVORO_API void _Exit(int aStatus) noexcept {
  Kalvoro::EndPhase("_Exit", aStatus);
  Kalvoro::EndProcessNow(aStatus);
}

} // extern "C"
