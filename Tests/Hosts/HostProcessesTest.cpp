// The processes of a run, through the real program: nothing that a run
// started is left once it has ended, and a runner killed outright leaves no
// host behind.
#include "HostsTestSupport.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>

#include <cstdlib>
#include <regex>
#include <sstream>

using namespace HostsTest;

namespace {

// Whether process aPid ends; the bound is one that only a process left
// running reaches. One still there is killed, so that a failing test
// leaves nothing either.
bool Ends(pid_t aPid) {
  const int Process = static_cast<int>(syscall(SYS_pidfd_open, aPid, 0));
  if (Process < 0)
    return errno == ESRCH;
  pollfd Ended{Process, POLLIN, 0};
  const bool Gone = poll(&Ended, 1, 10000) == 1;
  if (!Gone)
    syscall(SYS_pidfd_send_signal, Process, SIGKILL, nullptr, 0);
  close(Process);
  return Gone;
}

// The parent of process aPid and its command line ('\0' between arguments).
pid_t ParentOf(pid_t aPid, std::string& aCommandLine) {
  const std::string Folder = "/proc/" + std::to_string(aPid);
  const std::string Stat = ReadFile(Folder + "/stat");
  const std::size_t NameEnd = Stat.rfind(')');
  if (NameEnd == std::string::npos || NameEnd + 4 > Stat.size())
    return 0;
  aCommandLine = ReadFile(Folder + "/cmdline");
  return static_cast<pid_t>(std::atol(Stat.c_str() + NameEnd + 4));
}

// The run host that aRunner has started, once it runs; 0 if the runner
// ended first.
pid_t HostOf(pid_t aRunner) {
  for (;;) {
    for (const fs::directory_entry& Entry : fs::directory_iterator("/proc")) {
      const std::string Name = Entry.path().filename().string();
      if (Name.find_first_not_of("0123456789") != std::string::npos)
        continue;
      std::string CommandLine;
      const auto Pid = static_cast<pid_t>(std::atol(Name.c_str()));
      if (ParentOf(Pid, CommandLine) == aRunner &&
          CommandLine.find(std::string("\0--run\0", 7)) != std::string::npos)
        return Pid;
    }
    siginfo_t Info{};
    if (waitid(P_PID, static_cast<id_t>(aRunner), &Info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
        Info.si_pid != 0)
      return 0;
    const timespec Pause{0, 10 * 1000 * 1000};
    nanosleep(&Pause, nullptr);
  }
}

} // namespace

// A test's child left in the host's group when the host then ends by
// itself, a child in a session of its own (also when the host then ends at
// once), a double-forked grandchild: each is gone once the run has ended.
TEST(HostProcesses, NothingARunStartedIsLeftWhenItEnds) {
  TScratch Scratch;
  const fs::path PidFile = Scratch.Path() / "left.pids";
  setenv("KALVORO_TEST_LEFT_PIDS", PidFile.c_str(), 1);
  const TRun Run = RunRunner(std::string(KALVORO_TEST_MODULES_DIR) + "/FaultLeftProcesses.so", {},
                             Scratch.Path(), "left");
  unsetenv("KALVORO_TEST_LEFT_PIDS");
  for (const char* Ended : {"TLeftInGroupThenExit", "TLeftInOwnSessionThenExit"})
    EXPECT_NE(Run.Errors.find(std::string("EXCEPTION (") + Ended +
                              ".TestLeave) Test process exited with status 0\r\n"),
              std::string::npos)
        << Run.Errors;
  for (const char* Kept : {"TLeftInOwnSession", "TLeftDoubleForked"})
    EXPECT_TRUE(std::regex_search(Run.Summary,
                                  std::regex(std::string("SUCCESS +") + Kept + "\\.TestLeave\r")))
        << Run.Summary;
  std::istringstream Pids(ReadFile(PidFile));
  int Left = 0;
  for (pid_t Pid; Pids >> Pid; ++Left)
    EXPECT_TRUE(Ends(Pid)) << "process " << Pid << " was left";
  EXPECT_EQ(Left, 4);
}

// The host goes with the runner, whatever it was doing.
TEST(HostProcesses, ARunnerKilledOutrightLeavesNoHost) {
  TScratch Scratch;
  const pid_t Runner = StartRunner(std::string(KALVORO_TEST_MODULES_DIR) + "/Hangs.so",
                                   {"--filter", "THangs.TestSleep"}, Scratch.Path(), "killed");
  const pid_t Host = HostOf(Runner);
  kill(Runner, SIGKILL);
  const TRun Run = FinishRunner(Runner, Scratch.Path(), "killed");
  EXPECT_EQ(Run.Code, -SIGKILL);
  ASSERT_NE(Host, 0) << Run.Err;
  EXPECT_TRUE(Ends(Host));
}
