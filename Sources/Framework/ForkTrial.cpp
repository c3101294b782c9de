// Trials of a loader step in a forked child, for a program that has no host
// program beside it (see ModuleTrial.h). The child guards the step as a test
// phase is guarded and sends what ended it back through a pipe, so that the
// parent words it as it words any crash.
#include "ModuleTrial.h"

#include "CrashGuard.h"
#include "WriteAll.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csetjmp>
#include <cstring>
#include <string>
#include <type_traits>

namespace Kalvoro {

namespace {

static_assert(std::is_trivially_copyable_v<TCrashFrame>, "a crash frame is sent as bytes");

// The child's reply: one tag, then the crash frame's bytes or an error text.
constexpr char CameThrough = '+';
constexpr char Crashed = '-';
constexpr char Raised = '!';
constexpr std::size_t MaxErrorText = 1024;

using TStep = void (*)(void* aArgument);

// The child's side. Its output goes nowhere, so that what the module prints
// while starting is not shown twice. It never returns into the parent's
// frames: every way out ends in EndProcessNow (_exit past the exit guard),
// which runs no exit handlers of the parent's copy (they would flush the
// parent's buffers a second time).
[[noreturn]] void RunChild(int aPipe, TStep aStep, void* aArgument) {
  const int Null = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (Null >= 0) {
    dup2(Null, STDOUT_FILENO);
    dup2(Null, STDERR_FILENO);
  }
  TSignalScope Scope;
  TCrashFrame Frame;
  PushCrashFrame(&Frame);
  if (sigsetjmp(Frame.Env, 1) != 0) {
    // Nothing that allocates after a crash: the heap may be what broke.
    WriteAll(aPipe, &Crashed, 1);
    WriteAll(aPipe, &Frame, sizeof Frame);
    EndProcessNow(0);
  }
  try {
    aStep(aArgument);
  } catch (...) {
    // An error out of a constructor would unwind through the loader in the
    // parent, with its lock taken: such a start-up is refused as well.
    const std::string Text = CurrentExceptionText();
    WriteAll(aPipe, &Raised, 1);
    WriteAll(aPipe, Text.data(), std::min(Text.size(), MaxErrorText));
    EndProcessNow(0);
  }
  WriteAll(aPipe, &CameThrough, 1);
  EndProcessNow(0);
}

std::string ReadReply(int aPipe) {
  // The child is gone; a process it started may still hold the pipe open, so
  // read what is there without waiting for the end.
  fcntl(aPipe, F_SETFL, O_NONBLOCK);
  std::string Reply;
  char Buffer[512];
  for (;;) {
    const ssize_t Read = read(aPipe, Buffer, sizeof Buffer);
    if (Read < 0 && errno == EINTR)
      continue;
    if (Read <= 0)
      return Reply;
    Reply.append(Buffer, static_cast<std::size_t>(Read));
  }
}

std::string TextOf(const std::string& aReply, bool aReaped, int aStatus) {
  if (!aReply.empty() && aReply[0] == CameThrough)
    return {};
  if (!aReply.empty() && aReply[0] == Raised)
    return aReply.substr(1);
  TCrashFrame Frame;
  if (aReply.size() == 1 + sizeof Frame && aReply[0] == Crashed) {
    std::memcpy(static_cast<void*>(&Frame), aReply.data() + 1, sizeof Frame);
    Frame.Outer = nullptr;
    return CrashText(Frame);
  }
  // Ended before it could say why: killed by a signal it was not guarded
  // against, or it ended itself.
  if (aReaped && WIFSIGNALED(aStatus)) {
    Frame.Signal = WTERMSIG(aStatus);
    return CrashText(Frame);
  }
  if (aReaped && WIFEXITED(aStatus))
    return "Ended the process with exit code " + std::to_string(WEXITSTATUS(aStatus));
  return "Ended the process";
}

// Waits at most aSeconds for aChild to end, without reaping it.
bool WaitForChild(pid_t aChild, double aSeconds) {
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(aSeconds);
  for (;;) {
    siginfo_t Info{};
    if (waitid(P_PID, static_cast<id_t>(aChild), &Info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        Info.si_pid == aChild)
      return true;
    if (std::chrono::steady_clock::now() >= Deadline)
      return false;
    const timespec Pause{0, 1000 * 1000};
    nanosleep(&Pause, nullptr);
  }
}

// Runs aStep in a child process; empty when it came through. When no child
// can be made the step is not tried, and the caller takes it untried.
std::string RunTrial(TStep aStep, void* aArgument) {
  int Pipe[2];
  if (pipe2(Pipe, O_CLOEXEC) != 0)
    return {};
  const pid_t Child = fork();
  if (Child < 0) {
    close(Pipe[0]);
    close(Pipe[1]);
    return {};
  }
  if (Child == 0) {
    close(Pipe[0]);
    RunChild(Pipe[1], aStep, aArgument);
  }
  CountTrialStarted();
  close(Pipe[1]);
  // A step that hangs is ended after the trials' time limit.
  const double Limit = LoadTrialTimeLimit();
  const bool InTime = WaitForChild(Child, Limit);
  if (!InTime)
    kill(Child, SIGKILL);
  int Status = 0;
  pid_t Reaped;
  while ((Reaped = waitpid(Child, &Status, 0)) < 0 && errno == EINTR) {
  }
  const std::string Reply = ReadReply(Pipe[0]);
  close(Pipe[0]);
  return InTime ? TextOf(Reply, Reaped == Child, Status) : LoadTrialTimeLimitText(Limit);
}

struct TOpenArguments {
  const char* Path;
  int Flags;
};

} // namespace

std::string TryStartUpInFork(const std::string& aPath, int aFlags) {
  TOpenArguments Arguments{aPath.c_str(), aFlags};
  return RunTrial(
      [](void* aArgument) {
        const auto* Open = static_cast<const TOpenArguments*>(aArgument);
        dlopen(Open->Path, Open->Flags);
      },
      &Arguments);
}

std::string TryShutDownInFork(void* aHandle) {
  return RunTrial([](void* aHandle) { dlclose(aHandle); }, aHandle);
}

} // namespace Kalvoro
