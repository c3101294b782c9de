// The console runner on project files: Start All, named scenarios, report
// files, load reports, listing, the shipped demo project, and a module that
// crashes while it loads; the run options.
#include "ConsoleTestSupport.h"
#include "Project.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/wait.h>

#include <cstdlib>
#include <optional>
#include <utility>

using namespace ConsoleTest;

namespace {

// The processors this process may run on: what "-j" alone means.
int UsableProcessors() {
  cpu_set_t Set;
  CPU_ZERO(&Set);
  return sched_getaffinity(0, sizeof Set, &Set) == 0 ? CPU_COUNT(&Set) : 1;
}

// A project on the demo module, in its own folder; report files are named
// relative to that folder.
class ConsoleProjectMode : public ::testing::Test {
protected:
  void WriteProject(const std::string& aExtraAssignment = {}, bool aLogEnabled = true) {
    std::ofstream Stream(Project, std::ios::binary);
    const int Count = aExtraAssignment.empty() ? 3 : 4;
    Stream << "[Project]\r\nSignature=Kalvoro\r\nFileVersion=1.0\r\nModuleCount=1\r\n"
           << "ScenarioCount=2\r\n[FileInfo]\r\nSummaryEnabled=1\r\n"
           << "SummaryFileName=out/Summary.txt\r\nLogEnabled=" << (aLogEnabled ? 1 : 0)
           << "\r\nLogFileName=out/Log.txt\r\nErrorEnabled=1\r\n"
           << "ErrorFileName=" << (Dir.Path() / "out" / "Error.txt").string() << "\r\n"
           << "[Scenarios]\r\nName0=Smoke\r\nName1=Nightly\r\n[Modules]\r\nFile0=" << DemoModule
           << "\r\nLoad0=1\r\nAssignmentCount0=" << Count << "\r\n[" << DemoModule << "]\r\n"
           << "Assign0=TStackTest|Smoke|ENABLED\r\nAssign1=TMathTest|Nightly|ENABLED\r\n"
           << "Assign2=TBrokenExitTest|Nightly|DISABLED\r\n";
    if (!aExtraAssignment.empty())
      Stream << "Assign3=" << aExtraAssignment << "\r\n";
  }

  TScratchDir Dir;
  fs::path Project = Dir.Path() / "Nightly.kvr";
};

} // namespace

TEST_F(ConsoleProjectMode, StartAllRunsEveryScenarioAndWritesTheEnabledFiles) {
  WriteProject();
  fs::create_directories(Dir.Path() / "out");
  const TRun Result = Runner({"run", Project.string()});
  EXPECT_EQ(Result.Code, ExitTestsFailed) << Result.Err;
  // The demo's other unit tests have no place in this project: a load report.
  EXPECT_NE(Result.Err.find("* UnitTest \"TCrashTest\" is not assigned to a TestScenario.\n"),
            std::string::npos)
      << Result.Err;

  // Two summaries, Smoke first; the disabled unit test is listed as skipped.
  const std::string Summary = ReadFile(Dir.Path() / "out" / "Summary.txt");
  const std::size_t First = Summary.find("SUCCESS   TStackTest.TestPush\r\n");
  const std::size_t Second = Summary.find("FAILURE   TMathTest.TestDivide\r\n");
  ASSERT_NE(First, std::string::npos);
  ASSERT_NE(Second, std::string::npos);
  EXPECT_LT(First, Second);
  EXPECT_NE(Summary.find("SKIPPED   TBrokenExitTest.TestRuns\r\n"), std::string::npos);
  EXPECT_EQ(Summary.rfind("\r\n===============================================\r\nKalvoro", 0), 0u);

  const std::string Log = ReadFile(Dir.Path() / "out" / "Log.txt");
  EXPECT_EQ(Log.rfind("BEGIN Smoke (", 0), 0u);
  EXPECT_NE(Log.find("\r\nBEGIN Nightly ("), std::string::npos);
  EXPECT_EQ(ReadFile(Dir.Path() / "out" / "Error.txt"),
            "FAILURE (TMathTest.TestDivide) third is 0.33\r\nEXCEPTION (TMathTest.TestModulo) "
            "vector::_M_range_check: __n (which is 3) >= this->size() (which is 3)\r\n");
}

TEST_F(ConsoleProjectMode, NamedScenariosRunInTheGivenOrderOnly) {
  WriteProject();
  const TRun Result = Runner({"run", Project.string(), "--scenario", "Smoke", "--no-files"});
  // Smoke passes, but the load report (unassigned unit tests) makes it 1.
  EXPECT_EQ(Result.Code, ExitTestsFailed) << Result.Err;
  EXPECT_EQ(Result.Out.find("TMathTest"), std::string::npos);
  EXPECT_NE(Result.Out.find("SUCCESS   TStackTest.TestPop"), std::string::npos);
  EXPECT_FALSE(fs::exists(Dir.Path() / "out"));

  const TRun Both = Runner(
      {"run", Project.string(), "--scenario", "Nightly", "--scenario", "Smoke", "--no-files"});
  EXPECT_LT(Both.Out.find("TMathTest.TestAdd"), Both.Out.find("TStackTest.TestPush"));

  const TRun Unknown = Runner({"run", Project.string(), "--scenario", "Weekly"});
  EXPECT_EQ(Unknown.Code, ExitUsageOrLoad);
  EXPECT_NE(Unknown.Err.find("\"Weekly\""), std::string::npos);
  EXPECT_TRUE(Unknown.Out.empty());
}

TEST_F(ConsoleProjectMode, DisabledFileIsNotWrittenAndCommandLineFileTakesItsPlace) {
  WriteProject({}, false);
  fs::create_directories(Dir.Path() / "out");
  const fs::path Log = Dir.Path() / "cli-log.txt";
  const TRun Result = Runner({"run", Project.string()});
  EXPECT_TRUE(fs::exists(Dir.Path() / "out" / "Summary.txt"));
  EXPECT_FALSE(fs::exists(Dir.Path() / "out" / "Log.txt"));
  Runner({"run", Project.string(), "--log", Log.string()});
  EXPECT_EQ(ReadFile(Log).rfind("BEGIN Smoke (", 0), 0u);
}

TEST_F(ConsoleProjectMode, LoadReportGoesToStderrAndTheRunGoesOn) {
  WriteProject("TNoSuchTest|Smoke|ENABLED");
  const TRun Result = Runner({"run", Project.string(), "--no-files"});
  EXPECT_EQ(Result.Code, ExitTestsFailed);
  EXPECT_NE(Result.Err.find("TNoSuchTest"), std::string::npos) << Result.Err;
  EXPECT_EQ(Result.Err.find('\r'), std::string::npos);
  EXPECT_NE(Result.Out.find("TStackTest.TestPush"), std::string::npos);
}

TEST_F(ConsoleProjectMode, ProjectThatCannotBeOpenedIsRefused) {
  const TRun Missing = Runner({"run", (Dir.Path() / "None.kvr").string()});
  EXPECT_EQ(Missing.Code, ExitUsageOrLoad);
  EXPECT_EQ(Missing.Err,
            "kalvoro: The file \"" + (Dir.Path() / "None.kvr").string() + "\" does not exist.\n");

  std::ofstream(Project) << "[Project]\nSignature=Other\n";
  const TRun Foreign = Runner({"run", Project.string()});
  EXPECT_EQ(Foreign.Code, ExitUsageOrLoad);
  EXPECT_NE(Foreign.Err.find("is not a Kalvoro(.kvr) file or the version is not correct.\n"),
            std::string::npos)
      << Foreign.Err;
}

TEST_F(ConsoleProjectMode, ListShowsScenariosAndModules) {
  WriteProject();
  const TRun Result = Runner({"list", Project.string()});
  EXPECT_EQ(Result.Code, ExitSuccess);
  EXPECT_EQ(Result.Out,
            "Scenarios:\n  Smoke\n    Demo.so|TStackTest\n  Nightly\n"
            "    Demo.so|TMathTest\n    Demo.so|TBrokenExitTest (disabled)\nModules:\n  " +
                DemoModule + " (LOAD SUCCESS)\n");
}

// The shipped demo project opens from the repository with its modules found
// relative to the project file.
TEST(ConsoleDemoProject, BuildTreeCopyRunsBothScenarios) {
  const std::string Demo = std::string(KALVORO_EXAMPLES_DIR) + "/Demo.kvr";
  const TRun Result = Runner({"run", Demo, "--no-files"});
  EXPECT_EQ(Result.Code, ExitTestsFailed) << Result.Err;
  EXPECT_TRUE(Result.Err.empty()) << Result.Err;
  EXPECT_NE(Result.Out.find("SUCCESS   TStackTest.TestPush"), std::string::npos);
  EXPECT_NE(Result.Out.find("SKIPPED   TBrokenExitTest.TestRuns"), std::string::npos);
}

// A module that crashes while it loads is refused with the loader's message
// and its reason, and the program goes on: the real program exits 2, and in
// project mode the modules after it still load.
TEST(ConsoleLoadCrash, ModuleCrashingWhileLoadingIsRefusedAndTheProgramGoesOn) {
  const std::string Crashing = std::string(KALVORO_TEST_MODULES_DIR) + "/CrashesWhileLoading.so";
  const std::string Refusal = "kalvoro: Failed to load package or library \"" + Crashing +
                              "\"\nkalvoro: Access violation (SIGSEGV)\n";
  TScratchDir Dir;
  const fs::path Err = Dir.Path() / "err.txt";
  const std::string Command = "KALVORO_CRASH_AT=start-up " + std::string(KALVORO_RUNNER) +
                              " list " + Crashing + " >/dev/null 2>" + Err.string();
  const int Status = std::system(Command.c_str());
  ASSERT_TRUE(WIFEXITED(Status)) << Status;
  EXPECT_EQ(WEXITSTATUS(Status), ExitUsageOrLoad);
  EXPECT_EQ(ReadFile(Err), Refusal);

  setenv("KALVORO_CRASH_AT", "Register", 1);
  const TRun Module = Runner({"run", Crashing});
  EXPECT_EQ(Module.Code, ExitUsageOrLoad);
  EXPECT_EQ(Module.Err, Refusal);

  const fs::path Project = Dir.Path() / "Crashing.kvr";
  std::ofstream(Project, std::ios::binary)
      << "[Project]\r\nSignature=Kalvoro\r\nFileVersion=1.0\r\nModuleCount=2\r\n"
      << "ScenarioCount=0\r\n[FileInfo]\r\nSummaryEnabled=0\r\nSummaryFileName=\r\n"
      << "LogEnabled=0\r\nLogFileName=\r\nErrorEnabled=0\r\nErrorFileName=\r\n"
      << "[Modules]\r\nFile0=" << Crashing << "\r\nLoad0=1\r\n"
      << "AssignmentCount0=0\r\nFile1=" << DemoModule << "\r\nLoad1=1\r\nAssignmentCount1=0\r\n";
  const TRun InProject = Runner({"list", Project.string()});
  EXPECT_EQ(InProject.Code, ExitUsageOrLoad);
  EXPECT_EQ(InProject.Err, Refusal);
  const TOpenProjectResult Opened = OpenProject(Project.string());
  unsetenv("KALVORO_CRASH_AT");
  ASSERT_EQ(Opened.Project->Modules().Count(), 2);
  EXPECT_EQ(Opened.Project->Modules()[0]->State(), msLoadFailed);
  EXPECT_EQ(Opened.Project->Modules()[1]->State(), msLoadSuccess);
}

// Where the tests run, their time limit and how many run at once: an option
// on the command line wins over the project's run options, which win over
// the defaults (hosts, no limit, one at a time); in process they run one at
// a time; the project's time limit reaches the run.
TEST(ConsoleRunOptions, CommandLineWinsOverTheProjectsOptions) {
  struct TCase {
    std::vector<std::string> Given;
    std::optional<TProjectOptions> Project; // unset: module mode
    std::string Error;
    bool Hosts;
    double TimeLimit;
    int Jobs = 1; // -1: the processors this process may use
    std::string Serial{};
    std::string Note{};
  };
  const std::string Exclusive = "options --in-process and --hosts exclude each other";
  const std::string InProcess = "The tests run in process, so one at a time";
  const TCase Cases[] = {
      {{"-j", "3"}, std::nullopt, "", true, 0, 3},
      {{"-j3", "--serial", "TDb.*"}, std::nullopt, "", true, 0, 3, "TDb.*"},
      {{"--jobs=2"}, std::nullopt, "", true, 0, 2},
      {{"--jobs", "2", "--hosts"}, std::nullopt, "", true, 0, 2},
      {{"-j", "--hosts"}, std::nullopt, "", true, 0, -1},
      {{"-j"}, std::nullopt, "", true, 0, -1},
      {{"-j0"}, std::nullopt, "option -j needs a whole number from 1 to 256, not \"0\"", true, 0},
      {{"--jobs=x"},
       std::nullopt,
       "option -j needs a whole number from 1 to 256, not \"x\"",
       true,
       0},
      {{"-j", "2", "--in-process"},
       std::nullopt,
       "option -j 2 needs hosts: --in-process runs one test at a time",
       true,
       0},
      {{"--in-process", "-j1"}, std::nullopt, "", false, 0, 1},
      {{}, TProjectOptions{true, 0, 4, "TDb.*"}, "", true, 0, 4, "TDb.*"},
      {{"-j1", "--serial", "X.*"}, TProjectOptions{true, 0, 4, "TDb.*"}, "", true, 0, 1, "X.*"},
      {{}, TProjectOptions{false, 0, 4}, "", false, 0, 1, "", InProcess},
      {{"--in-process"}, TProjectOptions{true, 0, 4}, "", false, 0, 1, "", InProcess},
      {{}, std::nullopt, "", true, 0},
      {{"--in-process"}, std::nullopt, "", false, 0},
      {{"--hosts", "--timeout", "0.5"}, std::nullopt, "", true, 0.5},
      {{}, TProjectOptions{false, 5}, "", false, 5},
      {{"--hosts"}, TProjectOptions{false, 5}, "", true, 5},
      {{"--in-process", "--timeout", "2.5"}, TProjectOptions{true, 5}, "", false, 2.5},
      {{"--in-process", "--in-process"}, TProjectOptions{}, "", false, 0},
      {{"--in-process", "--hosts"}, std::nullopt, Exclusive, true, 0},
      {{"--hosts", "--in-process"}, TProjectOptions{}, Exclusive, true, 0},
  };
  for (const TCase& Case : Cases) {
    std::vector<std::string> Arguments{"run", "m.kvr"};
    Arguments.insert(Arguments.end(), Case.Given.begin(), Case.Given.end());
    SCOPED_TRACE(::testing::PrintToString(Arguments));
    TRunnerOptions Options;
    std::string Error;
    EXPECT_EQ(ParseRunnerArguments(Arguments, Options, Error), Case.Error.empty());
    EXPECT_EQ(Error, Case.Error);
    if (!Case.Error.empty())
      continue;
    ResolveRunOptions(Options, Case.Project ? &*Case.Project : nullptr);
    EXPECT_EQ(Options.Hosts, Case.Hosts);
    EXPECT_EQ(Options.TimeLimit, Case.TimeLimit);
    EXPECT_EQ(Options.Jobs, Case.Jobs < 0 ? UsableProcessors() : Case.Jobs);
    EXPECT_EQ(Options.Serial, Case.Serial);
    EXPECT_EQ(Options.JobsNote, Case.Note);
  }

  // The project's whole seconds end a hanging method; --timeout replaces them.
  TScratchDir Dir;
  const fs::path Project = Dir.Path() / "Limited.kvr";
  const std::string Hangs = std::string(KALVORO_TEST_MODULES_DIR) + "/Hangs.so";
  std::ofstream(Project, std::ios::binary)
      << "[Project]\r\nSignature=Kalvoro\r\nFileVersion=1.0\r\nModuleCount=1\r\n"
      << "ScenarioCount=0\r\n[FileInfo]\r\nSummaryEnabled=0\r\nSummaryFileName=\r\n"
      << "LogEnabled=0\r\nLogFileName=\r\nErrorEnabled=0\r\nErrorFileName=\r\n"
      << "[Kalvoro/Options]\r\nHosts=0\r\nTimeLimit=1\r\n"
      << "[Modules]\r\nFile0=" << Hangs << "\r\nLoad0=1\r\nAssignmentCount0=2\r\n"
      << "[" << Hangs << "]\r\nAssign0=THangs|Default Scenario|ENABLED\r\n"
      << "Assign1=TAfterHangs|Default Scenario|ENABLED\r\n";
  for (const auto& [Extra, Text] :
       {std::pair<std::vector<std::string>, std::string>{{}, "Time limit of 1 s exceeded"},
        {{"--timeout", "0.2"}, "Time limit of 0.2 s exceeded"}}) {
    std::vector<std::string> Arguments{"run", Project.string(), "--no-progress", "--filter",
                                       "THangs.TestSleep:TAfterHangs.*"};
    Arguments.insert(Arguments.end(), Extra.begin(), Extra.end());
    const TRun Result = Runner(Arguments);
    EXPECT_EQ(Result.Code, ExitTestsFailed) << Result.Err;
    EXPECT_TRUE(Result.Err.empty()) << Result.Err;
    EXPECT_NE(Result.Out.find("EXCEPTION (THangs.TestSleep) " + Text), std::string::npos)
        << Result.Out;
  }
}
