// A child process started with posix_spawn: the run hosts and the tests
// that need a process of their own all start children through this one
// class, so that spawning, descriptors, deadlines and the
// wording of a death are written once.
//
// The child gets exactly the descriptors it is given (everything else is
// closed in it), standard input from /dev/null unless told otherwise, and
// leads a process group of its own, so that ending it ends what it forked:
// when it ends, what is left in its group is killed before it is reaped.
// Its death is seen through a wait on its own pid (or its pidfd), never
// through the end of a pipe, which a grandchild may hold open. A child that
// made this process its tracer (PTRACE_TRACEME) is let go at its first stop
// with the stop's signal, so a stop never reads as its end.
#pragma once

#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace Kalvoro {

struct TChildOptions {
  std::string Program;                // the executable's path
  std::vector<std::string> Arguments; // argv[1...]
  // Descriptors the child keeps: {descriptor in the parent, number in the child}.
  std::vector<std::pair<int, int>> Descriptors;
  bool NullInput = true;                // standard input from /dev/null
  bool NullOutput = false;              // standard output and error to /dev/null
  bool OwnProcessGroup = true;          // the child leads a process group of its own
  std::vector<std::string> Environment; // added to the parent's ("NAME=VALUE")
  // Started without address randomisation (personality ADDR_NO_RANDOMIZE),
  // for a runtime that maps memory at fixed places.
  bool FixedAddresses = false;
};

class TChildProcess {
public:
  // Starts the child; raises Exception("Cannot start PROGRAM: reason") when
  // it cannot be started.
  explicit TChildProcess(const TChildOptions& aOptions);
  // Kills the child's process group (SIGKILL) if it still runs, and reaps it.
  ~TChildProcess();
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  pid_t Pid() const { return FPid; }
  // A descriptor that poll reports readable once the child has ended
  // (pidfd_open); -1 where the kernel has none (then poll Reap with a timeout).
  int EndedDescriptor() const { return FPidFd; }

  // Reaps the child if it has ended, without waiting; true once it has.
  // What is left in its process group is killed first.
  bool Reap();
  // Waits at most aSeconds (< 0: for ever) for the child to end; true once
  // it has.
  bool WaitFor(double aSeconds);
  // Sends aSignal to the child's process group and to the child itself
  // (through its pidfd), so that a child that left its group gets it too;
  // nothing once it has been reaped.
  void Signal(int aSignal);
  // SIGKILL to the group and the child, then waits for the child.
  void Kill();

  bool Ended() const { return FEnded; }
  // The raw wait status; valid once Ended() when StatusKnown().
  int Status() const { return FStatus; }
  // False when something else in this process reaped the child (a SIGCHLD
  // handler of test code that waits for any child): how it ended is lost.
  bool StatusKnown() const { return FStatusKnown; }
  // How it ended, worded for a report: "Test process ended by SIGSEGV",
  // "Test process exited with status 0" (aWho = "Test process").
  std::string DeathText(const std::string& aWho = "Test process") const;

private:
  pid_t FPid = -1;
  int FPidFd = -1;
  bool FOwnGroup = true;
  bool FEnded = false;
  bool FStatusKnown = true;
  int FStatus = 0;
};

// "SIGSEGV", "SIGKILL", ... or "signal N".
std::string SignalName(int aSignal);

} // namespace Kalvoro
