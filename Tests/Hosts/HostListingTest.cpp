// The runner holds no test code: hosts list and run every module, so a
// module's start-up and destructor never run in the runner, whatever they
// do (take a lock, install a SIGSEGV handler, ignore SIGCHLD, start a
// thread, change directory, set a variable, hang), and a module built with
// coverage writes its data from its host.
#include "HostsTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

using namespace HostsTest;

namespace {

const std::string Hostile = std::string(KALVORO_TEST_MODULES_DIR) + "/FaultHostileStartUp.so";
const std::string Reporter = std::string(KALVORO_TEST_MODULES_DIR) + "/ReportA.so";

// Sets an environment variable for the life of the object.
class TVariable {
public:
  TVariable(const char* aName, const std::string& aValue) : FName(aName) {
    setenv(aName, aValue.c_str(), 1);
  }
  ~TVariable() { unsetenv(FName); }
  TVariable(const TVariable&) = delete;
  TVariable& operator=(const TVariable&) = delete;

private:
  const char* FName;
};

// A project of the hostile module and one after it, report files relative
// to the project's folder.
void WriteProject(const fs::path& aFile) {
  KalvoroTest::WriteFile(aFile, "[Project]\nSignature=Kalvoro\nFileVersion=1.0\nModuleCount=2\n"
                                "ScenarioCount=1\n[FileInfo]\nSummaryEnabled=1\n"
                                "SummaryFileName=Summary.txt\nLogEnabled=1\nLogFileName=Log.txt\n"
                                "ErrorEnabled=1\nErrorFileName=Errors.txt\n[Scenarios]\n"
                                "Name0=Default Scenario\n[Modules]\nFile0=" +
                                    Hostile + "\nLoad0=1\nAssignmentCount0=1\nFile1=" + Reporter +
                                    "\nLoad1=1\nAssignmentCount1=1\n[" + Hostile +
                                    "]\nAssign0=THostileStartUp|Default Scenario|ENABLED\n[" +
                                    Reporter + "]\nAssign0=TReporter|Default Scenario|ENABLED\n");
}

// The processes that ran the module's code: "start|end PID PROGRAM" lines.
std::vector<std::string> ProcessLines(const fs::path& aLog) {
  std::vector<std::string> Lines;
  std::istringstream Text(ReadFile(aLog.string()));
  for (std::string Line; std::getline(Text, Line);)
    Lines.push_back(Line);
  return Lines;
}

} // namespace

TEST(HostListing, NoModuleCodeRunsInTheRunnerWhateverItsStartUpDoes) {
  struct TCase {
    const char* Name;
    bool Project; // the project of both modules, or the hostile module alone
    std::vector<std::string> Extra;
  };
  const std::vector<TCase> Cases = {
      {"module", false, {}},
      {"project", true, {}},
      {"project with a time limit", true, {"--timeout", "20"}},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TScratch Dir;
    const fs::path Log = fs::path(Dir.Path()) / "processes.txt";
    const TVariable Processes("KALVORO_PROCESS_LOG", Log.string());
    const TVariable Hostility("KALVORO_HOSTILE", Dir.File("lock"));
    const fs::path Project = fs::path(Dir.Path()) / "Hostile.kvr";
    WriteProject(Project);
    const std::string Target = Case.Project ? Project.string() : Hostile;
    // Listing alone, then a run.
    const std::string List = std::string(KALVORO_RUNNER) + " list '" + Target + "' > '" +
                             Dir.File("list.txt") + "' 2>&1";
    EXPECT_EQ(std::system(List.c_str()), 0) << ReadFile(Dir.File("list.txt"));
    EXPECT_NE(ReadFile(Dir.File("list.txt")).find("THostileStartUp"), std::string::npos);
    const pid_t Runner = StartRunner(Target, Case.Extra, Dir.Path(), "run");
    const TRun Run = FinishRunner(Runner, Dir.Path(), "run");
    EXPECT_EQ(Run.Code, 1) << Run.Err;
    std::vector<std::string> Expected = {
        "SUCCESS THostileStartUp.TestStays", "EXCEPTION THostileStartUp.TestCrashes",
        "EXCEPTION THostileStartUp.TestEndsItsProcess", "SUCCESS THostileStartUp.TestAfter"};
    if (Case.Project)
      Expected.push_back("SUCCESS TReporter.TestReport");
    EXPECT_EQ(SummaryResults(Run.Summary), Expected) << Run.Summary;
    EXPECT_NE(Run.Errors.find("(THostileStartUp.TestCrashes) Access violation (SIGSEGV)"),
              std::string::npos)
        << Run.Errors;
    EXPECT_NE(Run.Errors.find("(THostileStartUp.TestEndsItsProcess) Test process exited with "
                              "status 3"),
              std::string::npos)
        << Run.Errors;
    // The project's own report files land beside it, not where a start-up
    // moved to.
    if (Case.Project) {
      const std::string Own = std::string(KALVORO_RUNNER) + " run --no-progress '" + Target +
                              "' > '" + Dir.File("own.txt") + "' 2>&1";
      EXPECT_EQ(WEXITSTATUS(std::system(Own.c_str())), 1);
      for (const char* File : {"Summary.txt", "Log.txt", "Errors.txt"})
        EXPECT_TRUE(fs::exists(fs::path(Dir.Path()) / File)) << File;
    }
    // Every process that ran the module's code is a host.
    const std::vector<std::string> Lines = ProcessLines(Log);
    EXPECT_GE(Lines.size(), 3u);
    for (const std::string& Line : Lines) {
      EXPECT_EQ(Line.find(" " + std::to_string(Runner) + " "), std::string::npos) << Line;
      EXPECT_NE(Line.find("/kalvoro-host"), std::string::npos) << Line;
    }
  }
}

TEST(HostListing, AModuleBuiltWithCoverageWritesItsDataFromItsHost) {
  TScratch Dir;
  // The data goes under this prefix, by the object file's own path.
  const TVariable Prefix("GCOV_PREFIX", Dir.Path());
  const TRun Run =
      RunRunner(std::string(KALVORO_TEST_MODULES_DIR) + "/Covered.so", {}, Dir.Path(), "run");
  EXPECT_EQ(Run.Code, 0) << Run.Err;
  bool Written = false;
  for (const auto& Entry : fs::recursive_directory_iterator(Dir.Path()))
    Written = Written || Entry.path().extension() == ".gcda";
  EXPECT_TRUE(Written);
}

// In process the module is the runner's own: once the reports are written,
// a static destructor that hangs ends the program at the time limit, with
// the run's exit code.
TEST(HostListing, InProcessAnExitThatHangsEndsWithTheRunsCode) {
  TScratch Dir;
  const TVariable Hostility("KALVORO_HOSTILE", Dir.File("lock"));
  const TRun Run = RunRunner(
      Hostile, {"--in-process", "--timeout", "1", "--filter", "THostileStartUp.TestStays"},
      Dir.Path(), "run");
  EXPECT_EQ(Run.Code, 0) << Run.Err;
  const std::vector<std::string> Results = SummaryResults(Run.Summary);
  ASSERT_FALSE(Results.empty()) << Run.Summary;
  EXPECT_EQ(Results.front(), "SUCCESS THostileStartUp.TestStays") << Run.Summary;
}
