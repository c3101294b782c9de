// Starting, watching and ending a child process (see ChildProcess.h).
#include "ChildProcess.h"

#include "ChildStarter.h"
#include "ChildWatch.h"
#include "Exception.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/personality.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>

extern char** environ;

namespace Kalvoro {

namespace {

// Closes a list of descriptors when it goes out of scope.
struct TDescriptors {
  std::vector<int> List;
  ~TDescriptors() {
    for (const int Descriptor : List)
      close(Descriptor);
  }
};

// The parent's environment with aAdded put over it (a name given twice keeps
// the added value).
std::vector<std::string> EnvironmentWith(const std::vector<std::string>& aAdded) {
  std::vector<std::string> Result;
  auto NameOf = [](const std::string& aEntry) { return aEntry.substr(0, aEntry.find('=')); };
  for (char** Entry = environ; Entry != nullptr && *Entry != nullptr; ++Entry) {
    const std::string Text = *Entry;
    const std::string Name = NameOf(Text);
    const bool Replaced = std::any_of(aAdded.begin(), aAdded.end(), [&](const std::string& aNew) {
      return NameOf(aNew) == Name;
    });
    if (!Replaced)
      Result.push_back(Text);
  }
  Result.insert(Result.end(), aAdded.begin(), aAdded.end());
  return Result;
}

std::vector<char*> Pointers(std::vector<std::string>& aTexts) {
  std::vector<char*> Result;
  for (std::string& Text : aTexts)
    Result.push_back(Text.data());
  Result.push_back(nullptr);
  return Result;
}

bool Maps(const TChildOptions& aOptions, int aChildDescriptor) {
  return std::any_of(
      aOptions.Descriptors.begin(), aOptions.Descriptors.end(),
      [&](const std::pair<int, int>& aPair) { return aPair.second == aChildDescriptor; });
}

// How often a wait looks for a stop of a child that this process traces,
// in ms: a stop does not wake the pidfd.
constexpr int StopLook = 50;

// The wait status that waitpid would give for what waitid told.
int WaitStatus(const siginfo_t& aInfo) {
  if (aInfo.si_code == CLD_EXITED)
    return (aInfo.si_status & 0xff) << 8;
  return (aInfo.si_status & 0x7f) | (aInfo.si_code == CLD_DUMPED ? 0x80 : 0);
}

[[noreturn]] void CannotStart(const std::string& aProgram, int aError) {
  throw Exception("Cannot start " + aProgram + ": " + strerror(aError));
}

// Owns the spawn attributes and file actions for the length of the call.
struct TSpawnSetup {
  posix_spawnattr_t Attributes;
  posix_spawn_file_actions_t Actions;
  TSpawnSetup() {
    posix_spawnattr_init(&Attributes);
    posix_spawn_file_actions_init(&Actions);
  }
  ~TSpawnSetup() {
    posix_spawn_file_actions_destroy(&Actions);
    posix_spawnattr_destroy(&Attributes);
  }
};

// What the child starts with: default signal actions and no blocked signals
// (the parent may block or ignore some for its own threads), and a group of
// its own when asked.
void SetAttributes(TSpawnSetup& aSetup, const TChildOptions& aOptions) {
  sigset_t All;
  sigfillset(&All);
  sigset_t None;
  sigemptyset(&None);
  posix_spawnattr_setsigdefault(&aSetup.Attributes, &All);
  posix_spawnattr_setsigmask(&aSetup.Attributes, &None);
  short Flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
  if (aOptions.OwnProcessGroup) {
    Flags |= POSIX_SPAWN_SETPGROUP;
    posix_spawnattr_setpgroup(&aSetup.Attributes, 0);
  }
  posix_spawnattr_setflags(&aSetup.Attributes, Flags);
}

// The descriptor map. Each descriptor to pass is first copied above every
// number the child is to see, so that putting one in place never overwrites
// another still to be placed; then everything above the highest number given
// is closed in the child, the copies included.
void SetDescriptors(TSpawnSetup& aSetup, const TChildOptions& aOptions, TDescriptors& aCopies) {
  int Highest = STDERR_FILENO;
  for (const auto& [Parent, Child] : aOptions.Descriptors)
    Highest = std::max(Highest, Child);
  for (const auto& [Parent, Child] : aOptions.Descriptors) {
    const int Copy = fcntl(Parent, F_DUPFD_CLOEXEC, Highest + 1);
    if (Copy < 0)
      CannotStart(aOptions.Program, errno);
    aCopies.List.push_back(Copy);
    posix_spawn_file_actions_adddup2(&aSetup.Actions, Copy, Child);
  }
  if (aOptions.NullInput && !Maps(aOptions, STDIN_FILENO))
    posix_spawn_file_actions_addopen(&aSetup.Actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  for (const int Output : {STDOUT_FILENO, STDERR_FILENO})
    if (aOptions.NullOutput && !Maps(aOptions, Output))
      posix_spawn_file_actions_addopen(&aSetup.Actions, Output, "/dev/null", O_WRONLY, 0);
  // Numbers below the highest that are not given: closed (one that is not
  // open is no error).
  for (int Number = STDERR_FILENO + 1; Number < Highest; ++Number)
    if (!Maps(aOptions, Number))
      posix_spawn_file_actions_addclose(&aSetup.Actions, Number);
  posix_spawn_file_actions_addclosefrom_np(&aSetup.Actions, Highest + 1);
}

} // namespace

TChildProcess::TChildProcess(const TChildOptions& aOptions) {
  TSpawnSetup Setup;
  TDescriptors Copies;
  SetAttributes(Setup, aOptions);
  SetDescriptors(Setup, aOptions, Copies);
  std::vector<std::string> Arguments;
  Arguments.push_back(aOptions.Program);
  Arguments.insert(Arguments.end(), aOptions.Arguments.begin(), aOptions.Arguments.end());
  std::vector<std::string> Environment = EnvironmentWith(aOptions.Environment);
  std::vector<char*> Argv = Pointers(Arguments);
  std::vector<char*> Envp = Pointers(Environment);
  ChildWatch::Begin();
  int Error = 0;
  // Started on the starter thread, which outlives every child (ChildStarter.h).
  OnStarterThread([&] {
    // The personality is this thread's, and the child (a clone of it) keeps
    // it through its exec: it is set for the spawn only.
    const int Personality = aOptions.FixedAddresses ? personality(0xffffffff) : -1;
    if (Personality >= 0)
      personality(static_cast<unsigned long>(Personality) | ADDR_NO_RANDOMIZE);
    Error = posix_spawn(&FPid, aOptions.Program.c_str(), &Setup.Actions, &Setup.Attributes,
                        Argv.data(), Envp.data());
    if (Personality >= 0)
      personality(static_cast<unsigned long>(Personality));
  });
  if (Error != 0) {
    FPid = -1;
    ChildWatch::End();
    CannotStart(aOptions.Program, Error);
  }
  FOwnGroup = aOptions.OwnProcessGroup;
  // The child cannot be reaped before this, so its pid still names it.
  // (The C library's header declares pidfd_open without C linkage: the call
  // is made directly.)
  FPidFd = static_cast<int>(syscall(SYS_pidfd_open, FPid, 0));
  if (FPidFd >= 0)
    fcntl(FPidFd, F_SETFD, FD_CLOEXEC);
}

TChildProcess::~TChildProcess() {
  if (FPid > 0 && !FEnded) {
    // Also ends what it started, while its group is still held by it.
    Signal(SIGKILL);
    WaitFor(-1);
  }
  if (FPidFd >= 0)
    close(FPidFd);
  if (FPid > 0)
    ChildWatch::End();
}

bool TChildProcess::Reap() {
  if (FEnded || FPid <= 0)
    return FEnded;
  ChildWatch::Keep();
  // Looked at first without reaping: while it is not reaped, its pid still
  // names its process group, which is ended before the pid is let go.
  siginfo_t Info{};
  int Result;
  while ((Result = waitid(P_PID, static_cast<id_t>(FPid), &Info,
                          WEXITED | WNOHANG | WNOWAIT | __WALL)) < 0 &&
         errno == EINTR) {
  }
  if (Result < 0) {
    // Reaped by someone else: it has ended, how is unknown. Its pid may
    // name another process by now, so its group is left alone.
    if (errno == ECHILD) {
      FEnded = true;
      FStatusKnown = false;
    }
    return FEnded;
  }
  if (Info.si_pid == 0)
    return false;
  if (Info.si_code == CLD_TRAPPED || Info.si_code == CLD_STOPPED) {
    // Stopped for this process as its tracer: it goes on untraced, and the
    // signal that stopped it (a crash, say) takes its course.
    // Only its tracer, the thread that started it, can let it go.
    OnStarterThread([&] {
      ptrace(PTRACE_DETACH, FPid, nullptr,
             reinterpret_cast<void*>(static_cast<std::intptr_t>(Info.si_status)));
    });
    return false;
  }
  if (FOwnGroup)
    kill(-FPid, SIGKILL);
  FStatus = WaitStatus(Info);
  int Status = 0;
  while (waitpid(FPid, &Status, __WALL) < 0 && errno == EINTR) {
  }
  FEnded = true;
  return true;
}

bool TChildProcess::WaitFor(double aSeconds) {
  using TClock = std::chrono::steady_clock;
  const auto Deadline = TClock::now() + std::chrono::duration_cast<TClock::duration>(
                                            std::chrono::duration<double>(std::max(0.0, aSeconds)));
  while (!Reap()) {
    int Timeout = -1;
    if (aSeconds >= 0) {
      const auto Left = Deadline - TClock::now();
      if (Left <= TClock::duration::zero())
        return false;
      Timeout =
          static_cast<int>(std::ceil(std::chrono::duration<double, std::milli>(Left).count()));
    }
    if (FPidFd >= 0) {
      pollfd Ended{FPidFd, POLLIN, 0};
      poll(&Ended, 1, Timeout < 0 ? StopLook : std::min(Timeout, StopLook));
    } else {
      // No pidfd: look again every millisecond.
      const timespec Pause{0, 1000 * 1000};
      nanosleep(&Pause, nullptr);
    }
  }
  return true;
}

void TChildProcess::Signal(int aSignal) {
  if (FPid <= 0 || FEnded)
    return;
  if (FOwnGroup)
    kill(-FPid, aSignal);
  // The child itself, when it has left its group (or joined this process's):
  // in its group it already has the signal, and a second one could read as
  // another. SIGKILL always goes, as a second one is the same.
  if (FOwnGroup && aSignal != SIGKILL && getpgid(FPid) == FPid)
    return;
  if (FPidFd < 0 || syscall(SYS_pidfd_send_signal, FPidFd, aSignal, nullptr, 0) != 0)
    kill(FPid, aSignal);
}

void TChildProcess::Kill() {
  Signal(SIGKILL);
  WaitFor(-1);
}

std::string TChildProcess::DeathText(const std::string& aWho) const {
  if (!FEnded)
    return aWho + " is still running";
  if (!FStatusKnown)
    return aWho + " ended; how is unknown, something else took its status";
  if (WIFSIGNALED(FStatus))
    return aWho + " ended by " + SignalName(WTERMSIG(FStatus));
  return aWho + " exited with status " + std::to_string(WEXITSTATUS(FStatus));
}

std::string SignalName(int aSignal) {
  const char* Abbreviation = sigabbrev_np(aSignal);
  if (Abbreviation == nullptr)
    return "signal " + std::to_string(aSignal);
  return std::string("SIG") + Abbreviation;
}

} // namespace Kalvoro
