// The console runner against report files that would destroy what the run
// needs, report files that cannot all be written, and outcomes that must not
// pass for success.
#include "ConsoleOutput.h"
#include "ConsoleTestSupport.h"
#include "FrameworkTestSupport.h"
#include "ProgressBar.h"
#include "RunnerCore.h"
#include "UnitTestBase.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace ConsoleTest;

namespace {

// A copy of the demo module and a project on it, in a folder of their own.
class ConsoleReportFiles : public ::testing::Test {
protected:
  ConsoleReportFiles() {
    fs::copy_file(DemoModule, Module);
    std::ofstream(Project, std::ios::binary)
        << "[Project]\r\nSignature=Kalvoro\r\nFileVersion=1.0\r\nModuleCount=1\r\n"
        << "ScenarioCount=1\r\n[FileInfo]\r\nSummaryEnabled=0\r\nSummaryFileName=\r\n"
        << "LogEnabled=0\r\nLogFileName=\r\nErrorEnabled=0\r\nErrorFileName=\r\n"
        << "[Scenarios]\r\nName0=Smoke\r\n[Modules]\r\nFile0=M.so\r\n"
        << "Load0=1\r\nAssignmentCount0=1\r\n[M.so]\r\nAssign0=TStackTest|Smoke|ENABLED\r\n";
  }
  std::string Path(const std::string& aName) const { return (Dir.Path() / aName).string(); }

  TScratchDir Dir;
  std::string Module = Path("M.so");
  std::string Project = Path("P.kvr");
};

} // namespace

TEST_F(ConsoleReportFiles, AReportFileThatTheRunOrTheInstallationNeedsIsRefused) {
  const std::string ModuleBytes = ReadFile(Module);
  const std::string ProjectBytes = ReadFile(Project);
  fs::create_hard_link(Project, Path("link.txt"));
  const std::vector<std::vector<std::string>> Refused{
      {"run", Module, "--log", Path("./M.so")},
      {"run", Module, "--junit", Module},
      {"run", Project, "--errors", Path("link.txt")},
      {"run", Project, "--summary", Project},
      {"run", Project, "--log", Module},
      {"run", Module, "--errors", fs::read_symlink("/proc/self/exe").string()}};
  for (const std::vector<std::string>& Arguments : Refused) {
    const TRun Result = Runner(Arguments);
    EXPECT_EQ(Result.Code, ExitUsageOrLoad) << Arguments[2] << ' ' << Arguments[3];
    EXPECT_NE(Result.Err.find("refused, nothing was run or written"), std::string::npos)
        << Result.Err;
    EXPECT_EQ(Result.Out, "") << Arguments[2];
  }
  EXPECT_EQ(ReadFile(Module), ModuleBytes);
  EXPECT_EQ(ReadFile(Project), ProjectBytes);

  // The installation: the program, run on a copy of the library and the
  // host program (found beside the library it loads), must not write over
  // either, whatever name leads to them. The library goes under its soname,
  // where the loader looks for it.
  const fs::path Library = KALVORO_LIBRARY_SONAME;
  fs::copy_file(KALVORO_LIBRARY, Path(Library.string()));
  fs::create_symlink(Library, Path("libkalvoro.so"));
  fs::create_directory(Path("kalvoro"));
  fs::copy_file(KALVORO_HOST, Path("kalvoro/kalvoro-host"));
  const std::string LibraryBytes = ReadFile(Path(Library.string()));
  const std::string HostBytes = ReadFile(Path("kalvoro/kalvoro-host"));
  for (const auto& [Option, File] : std::vector<std::pair<std::string, std::string>>{
           {"--summary", Library.string()},
           {"--log", "libkalvoro.so"},
           {"--junit", "kalvoro/kalvoro-host"},
           {"--errors", "kalvoro/../kalvoro/kalvoro-host"}}) {
    const std::string Command = "LD_LIBRARY_PATH='" + Dir.Path().string() + "' " + KALVORO_RUNNER +
                                " run " + DemoModule + " --no-progress " + Option + " '" +
                                Path(File) + "' >/dev/null 2>'" + Path("err.txt") + "'";
    const int Status = std::system(Command.c_str());
    ASSERT_TRUE(WIFEXITED(Status)) << Option;
    EXPECT_EQ(WEXITSTATUS(Status), ExitUsageOrLoad) << Option;
    EXPECT_NE(ReadFile(Path("err.txt")).find("refused, nothing was run or written"),
              std::string::npos)
        << ReadFile(Path("err.txt"));
  }
  EXPECT_EQ(ReadFile(Path(Library.string())), LibraryBytes);
  EXPECT_EQ(ReadFile(Path("kalvoro/kalvoro-host")), HostBytes);
}

// Each report file that cannot be written is told; the others, JUnit too,
// are written all the same.
TEST_F(ConsoleReportFiles, EveryWritableReportFileIsWrittenAndEachFailureTold) {
  const std::string Bad = Path("no-folder/s.txt");
  TRun Result = Runner({"run", Module, "--summary", Bad, "--log", Path("l.txt"), "--junit",
                        Path("j.xml"), "--no-progress"});
  EXPECT_EQ(Result.Code, ExitUsageOrLoad);
  EXPECT_NE(Result.Err.find("kalvoro: Unable to write to " + Bad), std::string::npos);
  EXPECT_TRUE(fs::exists(Path("j.xml")));
  EXPECT_NE(ReadFile(Path("l.txt")).find("BEGIN"), std::string::npos);

  Result = Runner({"run", Module, "--summary", Bad, "--errors", Path("no-folder/e.txt"), "--junit",
                   Path("no-folder/j.xml"), "--log", Path("l2.txt")});
  EXPECT_EQ(Result.Code, ExitUsageOrLoad);
  for (const char* Name : {"s.txt", "e.txt", "j.xml"})
    EXPECT_NE(Result.Err.find(Path("no-folder/") + Name), std::string::npos) << Result.Err;
  EXPECT_TRUE(fs::exists(Path("l2.txt")));
}

// A test that changes the working directory does not move the report files
// that are written after the run.
TEST(ConsoleRunAndReport, RelativeReportNamesStayWhereTheyPointedWhenTheRunStarted) {
  TScratchDir Dir;
  fs::create_directory(Dir.Path() / "elsewhere");
  const fs::path Before = fs::current_path();
  fs::current_path(Dir.Path());
  TModule Module("InProcess.so");
  KalvoroTest::TScriptedTest Test(&Module);
  Test.SetName("TMoves");
  Test.Scripts = {{"TestMoves", [&](KalvoroTest::TScriptedTest&) {
                     fs::current_path(Dir.Path() / "elsewhere");
                   }}};
  Test.Register();
  TTestScenario Scenario("S");
  Scenario.AddUnitTest(&Test);
  TRunnerOptions Options;
  Options.Hosts = false; // scripted unit tests run in this process
  Options.JUnitFile = "j.xml";
  std::ostringstream Out;
  std::ostringstream Err;
  TRunnerStreams Streams{Out, Err, false};
  const int Code =
      RunAndReport({&Scenario}, Options, NamedPageFiles({{"s.txt", "l.txt", "e.txt"}}), Streams);
  fs::current_path(Before);
  Scenario.RemoveAllUnitTests();
  EXPECT_EQ(Code, ExitSuccess) << Err.str();
  for (const char* Name : {"s.txt", "l.txt", "e.txt", "j.xml"}) {
    EXPECT_TRUE(fs::exists(Dir.Path() / Name)) << Name;
    EXPECT_FALSE(fs::exists(Dir.Path() / "elsewhere" / Name)) << Name;
  }
}

// Outcomes that used to pass for success: a load report, no method run at
// all, and output that never arrived.
TEST_F(ConsoleReportFiles, LoadReportNoMethodRunAndLostOutputAreNoSuccess) {
  // The demo's other unit tests are not assigned: the passing run exits 1.
  const TRun Reported = Runner({"run", Project});
  EXPECT_NE(Reported.Err.find("is not assigned to a TestScenario"), std::string::npos);
  EXPECT_NE(Reported.Out.find("SUCCESS   TStackTest"), std::string::npos) << Reported.Out;
  EXPECT_EQ(Reported.Code, ExitTestsFailed);

  const TRun Empty = Runner({"run", VacuelModule});
  EXPECT_EQ(Empty.Code, ExitSuccess);
  EXPECT_NE(Empty.Err.find("kalvoro: No test method ran."), std::string::npos) << Empty.Err;
  EXPECT_EQ(Runner({"run", Module}).Err.find("No test method ran"), std::string::npos);
  EXPECT_NE(RunnerHelpText().find("load report"), std::string::npos);

  const std::string Command =
      std::string(KALVORO_RUNNER) + " run " + VacuelModule + " >/dev/full 2>" + Path("err.txt");
  const int Status = std::system(Command.c_str());
  ASSERT_TRUE(WIFEXITED(Status));
  EXPECT_EQ(WEXITSTATUS(Status), ExitUsageOrLoad);
  EXPECT_NE(ReadFile(Path("err.txt")).find("kalvoro: Unable to write to standard output."),
            std::string::npos);
}

// A test that writes to a closed pipe gets EPIPE and the run goes on; after
// the run SIGPIPE is handled as before.
TEST(ConsoleRunAndReport, WritingToAClosedPipeFailsWithEpipeAndTheRunGoesOn) {
  TModule Module("InProcess.so");
  KalvoroTest::TScriptedTest Test(&Module);
  Test.SetName("TPipe");
  int WriteError = 0;
  Test.Scripts = {{"TestWritesToAClosedPipe",
                   [&](KalvoroTest::TScriptedTest& aTest) {
                     int Ends[2];
                     aTest.Check(pipe(Ends) == 0, "pipe");
                     close(Ends[0]);
                     const bool Failed = write(Ends[1], "x", 1) == -1;
                     WriteError = Failed ? errno : 0;
                     close(Ends[1]);
                   }},
                  {"TestRunsAfterwards", [](KalvoroTest::TScriptedTest&) {}}};
  Test.Register();
  TTestScenario Scenario("S");
  Scenario.AddUnitTest(&Test);
  RunScenario(Scenario, {});
  EXPECT_EQ(WriteError, EPIPE);
  EXPECT_EQ(Scenario.GetSummary().MethodSuccess(), 2);
  Scenario.RemoveAllUnitTests();
  struct sigaction After {};
  sigaction(SIGPIPE, nullptr, &After);
  EXPECT_EQ(After.sa_handler, SIG_DFL);
}

// In project mode a module that cannot be loaded is told with the dynamic
// loader's reason, as in module mode.
TEST_F(ConsoleReportFiles, ProjectModeGivesTheLoadersReason) {
  fs::remove(Module);
  const TRun Result = Runner({"run", Project});
  EXPECT_EQ(Result.Code, ExitUsageOrLoad);
  EXPECT_NE(Result.Err.find("kalvoro: Failed to load package or library \"M.so\""),
            std::string::npos)
      << Result.Err;
  EXPECT_NE(Result.Err.find("kalvoro: " + Module + ": cannot open shared object file"),
            std::string::npos)
      << Result.Err;
}

// Texts of test code cannot forge lines: control characters reach the
// terminal escaped, and a line break inside a message stays in its line of
// the report file.
TEST(ConsoleRunAndReport, TextsOfTestsCannotForgeLinesOnTheTerminalOrInTheFiles) {
  EXPECT_EQ(TerminalText("plain\ttext"), "plain\ttext");
  EXPECT_EQ(TerminalText("a\nFAILURE (TFake.Test) injected\r\x1b]0;title\x07\x7f"),
            "a\\nFAILURE (TFake.Test) injected\\r\\x1b]0;title\\x07\\x7f");

  TScratchDir Dir;
  TModule Module("InProcess.so");
  KalvoroTest::TScriptedTest Test(&Module);
  Test.SetName("TForger");
  Test.Scripts = {{"TestForges", [](KalvoroTest::TScriptedTest& aTest) {
                     aTest.Check(false, "x\r\nFAILURE (TFake.Test) injected\x1b[2J");
                   }}};
  Test.Register();
  TTestScenario Scenario("S");
  Scenario.AddUnitTest(&Test);
  TRunnerOptions Options;
  Options.Hosts = false; // scripted unit tests run in this process
  std::ostringstream Out;
  std::ostringstream Err;
  TRunnerStreams Streams{Out, Err, false};
  const std::string Errors = (Dir.Path() / "e.txt").string();
  EXPECT_EQ(RunAndReport({&Scenario}, Options, NamedPageFiles({{"", "", Errors}}), Streams),
            ExitTestsFailed);
  Scenario.RemoveAllUnitTests();
  EXPECT_EQ(Out.str().find('\x1b'), std::string::npos) << Out.str();
  EXPECT_NE(Out.str().find("x\\r\\nFAILURE (TFake.Test) injected\\x1b[2J"), std::string::npos)
      << Out.str();
  for (const std::string& Line : Lines(Out.str()))
    EXPECT_NE(Line.rfind("FAILURE (TFake.Test)", 0), 0u) << Line;
  const std::string File = ReadFile(Errors);
  EXPECT_NE(File.find("x\\r\\nFAILURE (TFake.Test) injected\x1b[2J\r\n"), std::string::npos)
      << File;
  EXPECT_EQ(File.find("\r\nFAILURE (TFake.Test) injected"), std::string::npos) << File;
}

// A module's test method that calls exit(0) is an exception of that method:
// the run goes on, the files are written, and the code is 1.
TEST(ConsoleRunAndReport, ExitInATestMethodIsAnExceptionAndTheRunGoesOn) {
  TScratchDir Dir;
  const std::string Summary = (Dir.Path() / "s.txt").string();
  const TRun Result = Runner({"run", std::string(KALVORO_TEST_MODULES_DIR) + "/Exits.so",
                              "--summary", Summary, "--no-progress", "--verbose"});
  EXPECT_EQ(Result.Code, ExitTestsFailed) << Result.Err;
  for (const char* Text : {"exit(3) called by the test", "quick_exit(4) called by the test",
                           "_exit(5) called by the test", "_Exit(6) called by the test",
                           "exit(0) called by the test", "still running"})
    EXPECT_NE(Result.Out.find(Text), std::string::npos) << Text << "\n" << Result.Out;
  EXPECT_NE(ReadFile(Summary).find("Exits"), std::string::npos) << ReadFile(Summary);
}

// An exit or quick_exit that no phase catches (from a thread of the test's
// own) does not pass for success: the report files get what the run knows,
// the method is named, and the code is 1.
TEST(ConsoleRunAndReport, ExitFromAnotherThreadIsNoSuccess) {
  for (const bool Quick : {false, true}) {
    SCOPED_TRACE(Quick);
    TScratchDir Dir;
    const fs::path Folder = Dir.Path();
    const pid_t Child = fork();
    ASSERT_GE(Child, 0);
    if (Child == 0) {
      TModule Module("InProcess.so");
      KalvoroTest::TScriptedTest Test(&Module);
      Test.SetName("TQuits");
      Test.Scripts = {
          {"TestPasses", [](KalvoroTest::TScriptedTest& aTest) { aTest.Check(true, "passes"); }},
          {"TestExits", [Quick](KalvoroTest::TScriptedTest&) {
             std::thread([Quick] { Quick ? std::quick_exit(0) : std::exit(0); }).join();
           }}};
      Test.Register();
      TTestScenario Scenario("S");
      Scenario.AddUnitTest(&Test);
      TRunnerOptions Options;
      Options.Hosts = false; // the in-process exit guard
      Options.JUnitFile = (Folder / "j.xml").string();
      std::ofstream Out(Folder / "out.txt");
      std::ofstream Err(Folder / "err.txt");
      TRunnerStreams Streams{Out, Err, false};
      RunAndReport({&Scenario}, Options,
                   NamedPageFiles({{(Folder / "s.txt").string(), (Folder / "l.txt").string(), ""}}),
                   Streams);
      std::_Exit(99); // not reached: the run ends the process
    }
    int Status = 0;
    ASSERT_EQ(waitpid(Child, &Status, 0), Child);
    ASSERT_TRUE(WIFEXITED(Status));
    EXPECT_EQ(WEXITSTATUS(Status), ExitTestsFailed);
    EXPECT_NE(
        ReadFile(Folder / "err.txt")
            .find("kalvoro: The test method \"TQuits.TestExits\" ended the process during the "
                  "run."),
        std::string::npos)
        << ReadFile(Folder / "err.txt");
    EXPECT_NE(ReadFile(Folder / "l.txt").find("BEGIN S"), std::string::npos)
        << ReadFile(Folder / "l.txt");
    EXPECT_TRUE(fs::exists(Folder / "s.txt"));
    EXPECT_TRUE(fs::exists(Folder / "j.xml"));
  }
}

// On a terminal narrower than the bar, the bar is cut to fit, so that it
// never wraps onto a new line at each redraw.
TEST(ConsoleRunAndReport, ProgressBarFitsANarrowTerminal) {
  TModule Module("InProcess.so");
  KalvoroTest::TScriptedTest Test(&Module);
  Test.SetName("TAUnitTestWithAVeryLongName");
  Test.Scripts = {{"TestWithALongNameToo", [](KalvoroTest::TScriptedTest&) {}}};
  Test.Register();
  TTestScenario Scenario("S");
  Scenario.AddUnitTest(&Test);
  std::ostringstream Stream;
  {
    TProgressBar Bar(Stream, 1, 20);
    Bar.Attach(&Scenario);
    Scenario.Run();
  }
  Scenario.RemoveAllUnitTests();
  const std::string Drawn = Stream.str();
  ASSERT_NE(Drawn.find("\r[#"), std::string::npos) << Drawn;
  std::size_t Start = 0;
  for (std::size_t End; (End = Drawn.find("\033[K", Start)) != std::string::npos; Start = End + 3) {
    const std::string Piece = Drawn.substr(Start, End - Start);
    EXPECT_LE(Piece.size(), 1u + 19u) << Piece; // "\r" and 19 columns
  }
}
