// The runner as a child process: SIGINT and SIGTERM during a run, also to a
// run whose host does not end at them, and the order of its lines and a
// test's own output on a pipe.
#include "ChildProcess.h"
#include "ConsoleTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <thread>

using namespace ConsoleTest;

namespace {

const std::string HangsModule = std::string(KALVORO_TEST_MODULES_DIR) + "/Hangs.so";
const std::string StallModule = std::string(KALVORO_TEST_MODULES_DIR) + "/FaultStallInHost.so";
const std::string UnstoppableModule =
    std::string(KALVORO_TEST_MODULES_DIR) + "/FaultUnstoppable.so";

// The runner started with aArguments (and aEnvironment), standard output on
// a pipe, standard error to a file.
struct TChild {
  std::optional<TChildProcess> Process;
  pid_t Pid = -1;
  int Out = -1;

  TChild(const std::vector<std::string>& aArguments, const fs::path& aErrFile,
         const std::vector<std::string>& aEnvironment = {}) {
    int Pipe[2];
    if (pipe2(Pipe, O_CLOEXEC) != 0)
      return;
    const int Err = open(aErrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    TChildOptions Options;
    Options.Program = KALVORO_RUNNER;
    Options.Arguments = aArguments;
    Options.Descriptors = {{Pipe[1], STDOUT_FILENO}, {Err, STDERR_FILENO}};
    Options.Environment = aEnvironment;
    Process.emplace(Options);
    close(Pipe[1]);
    close(Err);
    Pid = Process->Pid();
    Out = Pipe[0];
  }
  // Reads standard output to its end and waits: the exit code, or -1 when
  // the runner did not exit by itself.
  int Finish(std::string& aOut) {
    char Buffer[4096];
    for (ssize_t Count; (Count = read(Out, Buffer, sizeof Buffer)) > 0;)
      aOut.append(Buffer, static_cast<std::size_t>(Count));
    close(Out);
    Process->WaitFor(-1);
    return WIFEXITED(Process->Status()) ? WEXITSTATUS(Process->Status()) : -1;
  }
};

// Waits until aDone holds, for at most 20 s (then the test goes on and
// fails on what follows).
template <typename TDone> void AwaitThat(TDone aDone) {
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!aDone() && std::chrono::steady_clock::now() < Deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

bool EveryLineEndsInCrLf(const std::string& aText) {
  if (aText.empty() || aText.back() != '\n')
    return false;
  for (std::size_t At = aText.find('\n'); At != std::string::npos; At = aText.find('\n', At + 1))
    if (At == 0 || aText[At - 1] != '\r')
      return false;
  return true;
}

} // namespace

// A signal in a busy loop: the log, the error list and standard output hold
// whole lines, the summary and the JUnit report (marked) are written, and the
// exit code is 128 plus the signal.
TEST(ConsoleInterrupt, SignalWritesWhatTheRunKnowsAndExitsWithItsCode) {
  for (const auto& [Signal, Name, Code] :
       {std::tuple{SIGINT, "SIGINT", 130}, std::tuple{SIGTERM, "SIGTERM", 143}}) {
    TScratchDir Dir;
    const fs::path Log = Dir.Path() / "log.txt";
    TChild Child({"run", HangsModule, "--no-progress", "--log", Log.string(), "--errors",
                  (Dir.Path() / "errors.txt").string(), "--summary",
                  (Dir.Path() / "summary.txt").string(), "--junit",
                  (Dir.Path() / "junit.xml").string()},
                 Dir.Path() / "err.txt");
    ASSERT_GT(Child.Pid, 0);
    // The log has the hanging method's BEGIN line while it hangs.
    AwaitThat([&] { return ReadFile(Log).find("BEGIN TestBusyLoop\r\n") != std::string::npos; });
    kill(Child.Pid, Signal);
    std::string Out;
    EXPECT_EQ(Child.Finish(Out), Code) << Name;

    const std::string Error =
        std::string("EXCEPTION (THangs.TestBusyLoop) Interrupted (") + Name + ")";
    EXPECT_EQ(ReadFile(Dir.Path() / "err.txt"),
              std::string("kalvoro: The run was interrupted by ") + Name + ".\n");
    EXPECT_EQ(Out.rfind(Error + "\n", 0), 0u) << Out;
    EXPECT_NE(Out.find("# Skipped    = 4\n# Success    = 0\n# Failures   = 0\n# Exceptions = 1\n"),
              std::string::npos)
        << Out;
    EXPECT_EQ(ReadFile(Dir.Path() / "errors.txt"), Error + "\r\n");
    const std::string LogText = ReadFile(Log);
    EXPECT_TRUE(EveryLineEndsInCrLf(LogText)) << LogText;
    EXPECT_NE(LogText.find("EXCEPTION THangs.TestBusyLoop (Interrupted"), std::string::npos);
    EXPECT_NE(LogText.find("END Default Scenario"), std::string::npos) << LogText;
    EXPECT_NE(ReadFile(Dir.Path() / "summary.txt").find("# Skipped    = 4\r\n"), std::string::npos);
    const std::string JUnit = ReadFile(Dir.Path() / "junit.xml");
    EXPECT_NE(JUnit.find(std::string("<property name=\"interrupted\" value=\"") + Name + "\"/>"),
              std::string::npos)
        << JUnit;
    EXPECT_NE(JUnit.find("<error message=\"Interrupted"), std::string::npos);
    EXPECT_TRUE(JUnit.ends_with("</testsuites>\n")) << JUnit;
  }
}

// On a pipe, what a test prints itself (printf, or write on the descriptor)
// and the runner's error lines come out in the order they were written.
TEST(ConsoleInterrupt, OwnOutputAndRunnerLinesKeepTheirOrderOnAPipe) {
  TScratchDir Dir;
  TChild Child({"run", std::string(KALVORO_TEST_MODULES_DIR) + "/Prints.so", "--no-progress"},
               Dir.Path() / "err.txt");
  ASSERT_GT(Child.Pid, 0);
  std::string Out;
  EXPECT_EQ(Child.Finish(Out), ExitTestsFailed);
  const std::vector<std::string> All = LinesWithoutPlaces(Out);
  const std::vector<std::string> Head(All.begin(),
                                      All.begin() + std::min<std::size_t>(6, All.size()));
  EXPECT_EQ(Head,
            (std::vector<std::string>{"own line 1", "FAILURE (TPrints.TestPrints) runner line 1",
                                      "own line 2", "FAILURE (TPrints.TestPrints) runner line 2",
                                      "own line 3", "FAILURE (TPrints.TestPrints) runner line 3"}))
      << Out;
}

// A test that catches the signal passed on to its host, or that stopped its
// host, in a run without a time limit: the runner kills the host a grace
// after passing the signal on, or at a second signal, writes every report
// and exits with the signal's code; the rest stays not run.
TEST(ConsoleInterrupt, HostThatDoesNotEndAtTheSignalIsKilledAndTheRunStillReports) {
  struct TCase {
    std::string Method;
    std::string Begun; // the report that says the method ignores signals now
    int Signal;
    bool Twice;
    int Code;
    std::string Cause;
  };
  const std::string Grace = ": the test process did not end within 3 s";
  const TCase Cases[] = {
      {"TestCatchesSignals", "catching signals", SIGINT, false, 130,
       "Interrupted (SIGINT)" + Grace},
      {"TestStopsItself", "stopping", SIGTERM, false, 143, "Interrupted (SIGTERM)" + Grace},
      {"TestCatchesSignals", "catching signals", SIGTERM, true, 143,
       "Interrupted (SIGTERM) again: the test process was killed"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Method + (Case.Twice ? " twice" : ""));
    TScratchDir Dir;
    const fs::path Log = Dir.Path() / "log.txt";
    TChild Child({"run", UnstoppableModule, "--no-progress", "--filter",
                  "TUnstoppable." + Case.Method + ":TUnstoppable.TestAfter", "--log", Log.string(),
                  "--errors", (Dir.Path() / "errors.txt").string(), "--summary",
                  (Dir.Path() / "summary.txt").string(), "--junit",
                  (Dir.Path() / "junit.xml").string()},
                 Dir.Path() / "err.txt");
    ASSERT_GT(Child.Pid, 0);
    const auto Logged = [&](const std::string& aReport) {
      return [&Log, aReport] {
        return ReadFile(Log).find("REPORT " + aReport + "\r\n") != std::string::npos;
      };
    };
    AwaitThat(Logged(Case.Begun));
    kill(Child.Pid, Case.Signal);
    if (Case.Twice) {
      // The host has been passed the first one.
      AwaitThat(Logged("caught a signal"));
      kill(Child.Pid, Case.Signal);
    }
    std::string Out;
    EXPECT_EQ(Child.Finish(Out), Case.Code);

    EXPECT_EQ(ReadFile(Dir.Path() / "errors.txt"),
              "EXCEPTION (TUnstoppable." + Case.Method + ") " + Case.Cause + "\r\n");
    const std::string Summary = ReadFile(Dir.Path() / "summary.txt");
    EXPECT_NE(Summary.find("# Success    = 0\r\n# Failures   = 0\r\n# Exceptions = 1\r\n"),
              std::string::npos)
        << Summary;
    EXPECT_NE(ReadFile(Log).find("END Default Scenario"), std::string::npos);
    const std::string JUnit = ReadFile(Dir.Path() / "junit.xml");
    EXPECT_NE(JUnit.find("<property name=\"interrupted\""), std::string::npos) << JUnit;
    EXPECT_TRUE(JUnit.ends_with("</testsuites>\n")) << JUnit;
  }
}

// A signal while the run's host waits in its module's start-up: that host
// ends and no other starts (it would wait in the same place), the methods
// stay not run, and the run exits with the signal's code.
TEST(ConsoleInterrupt, InterruptedRunStartsNoFurtherHost) {
  TScratchDir Dir;
  const fs::path Stalled = Dir.Path() / "stalled";
  TChild Child({"run", StallModule, "--no-progress", "--errors",
                (Dir.Path() / "errors.txt").string(), "--summary",
                (Dir.Path() / "summary.txt").string()},
               Dir.Path() / "err.txt",
               {"KALVORO_TEST_STALL_MARK=" + Stalled.string(),
                "KALVORO_TEST_STALL_LISTED=" + (Dir.Path() / "listed").string()});
  ASSERT_GT(Child.Pid, 0);
  AwaitThat([&] { return fs::exists(Stalled); });
  kill(Child.Pid, SIGTERM);
  std::string Out;
  EXPECT_EQ(Child.Finish(Out), 143);
  EXPECT_EQ(ReadFile(Dir.Path() / "errors.txt"), "");
  const std::string Summary = ReadFile(Dir.Path() / "summary.txt");
  EXPECT_NE(Summary.find("# Skipped    = 2\r\n# Success    = 0\r\n# Failures   = 0\r\n"
                         "# Exceptions = 0\r\n"),
            std::string::npos)
      << Summary;
}

// With several jobs the first SIGINT is a stop: the running method finishes,
// however long it takes (longer here than the grace that a SIGTERM gives),
// what finished ahead of it is written in order as the run comes to it, and
// a unit test never started (kept apart, so it waits for the run) is not
// run. The first one waits until the later ones have finished and the test
// has sent the signal.
TEST(ConsoleInterrupt, UnderJobsAStopWritesWhatFinishedAhead) {
  TScratchDir Dir;
  const fs::path Marks = Dir.Path() / "marks";
  const fs::path Go = Dir.Path() / "go";
  const fs::path JUnitFile = Dir.Path() / "junit.xml";
  TChild Child({"run", std::string(KALVORO_TEST_MODULES_DIR) + "/WaitsForLater.so", "--no-progress",
                "-j", "2", "--serial", "TLater3.*", "--junit", JUnitFile.string(), "--log",
                (Dir.Path() / "log.txt").string()},
               Dir.Path() / "err.txt",
               {"KALVORO_MARKS=" + Marks.string(), "KALVORO_GO=" + Go.string()});
  ASSERT_GT(Child.Pid, 0);
  AwaitThat([&] {
    const std::string Text = ReadFile(Marks);
    return Text.find("begin TWaits\n") != std::string::npos &&
           Text.find("end TLater1\n") != std::string::npos &&
           Text.find("end TLater2\n") != std::string::npos;
  });
  kill(Child.Pid, SIGINT);
  std::this_thread::sleep_for(std::chrono::milliseconds(3500));
  std::ofstream(Go.string()) << "go\n";
  std::string Out;
  EXPECT_EQ(Child.Finish(Out), 130) << Out;
  const std::string JUnit = ReadFile(JUnitFile);
  // Each method's case: passed (no element inside) or skipped.
  const auto Case = [&](const std::string& aUnitTest) {
    const std::size_t At = JUnit.find("classname=\"" + aUnitTest + "\"");
    if (At == std::string::npos)
      return std::string("missing");
    const std::size_t End = JUnit.find("</testcase>", At);
    const std::size_t Closed = JUnit.find("/>", At);
    if (Closed < End && JUnit.find('>', At) == Closed + 1)
      return std::string("passed");
    const std::string Inside = JUnit.substr(At, End - At);
    return std::string(Inside.find("<skipped") != std::string::npos ? "skipped" : "other");
  };
  for (const auto& [UnitTest, Expected] :
       {std::pair{"TWaits", "passed"}, std::pair{"TLater1", "passed"},
        std::pair{"TLater2", "passed"}, std::pair{"TLater3", "skipped"}})
    EXPECT_EQ(Case(UnitTest), Expected) << UnitTest << "\n" << JUnit;
  const std::string Log = ReadFile(Dir.Path() / "log.txt");
  EXPECT_LT(Log.find("TLater1"), Log.find("TLater2")) << Log;
}
