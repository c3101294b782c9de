// A host that stalls before its module's first phase, run by the real
// program: the run ends, each method of the module is an exception that says
// what stalled, and every report is this run's.
#include "HostsTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>

using namespace HostsTest;

namespace {

#ifdef __SANITIZE_ADDRESS__
constexpr bool SanitizerBuild = true;
#else
constexpr bool SanitizerBuild = false;
#endif

const std::string StallModule = std::string(KALVORO_TEST_MODULES_DIR) + "/FaultStallInHost.so";

// Sets an environment variable of this process (and so of the runner it
// starts) for its lifetime.
class TEnvironment {
public:
  TEnvironment(const char* aName, const std::string& aValue) : FName(aName) {
    if (const char* Old = std::getenv(aName))
      FOld = Old;
    setenv(aName, aValue.c_str(), 1);
  }
  ~TEnvironment() {
    if (FOld)
      setenv(FName, FOld->c_str(), 1);
    else
      unsetenv(FName);
  }
  TEnvironment(const TEnvironment&) = delete;
  TEnvironment& operator=(const TEnvironment&) = delete;

private:
  const char* FName;
  std::optional<std::string> FOld;
};

// A project of the stalling module with a time limit of 2 s.
std::string WriteLimitedProject(const fs::path& aFolder) {
  const fs::path Project = aFolder / "Limited.kvr";
  std::ofstream(Project, std::ios::binary)
      << "[Project]\r\nSignature=Kalvoro\r\nFileVersion=1.0\r\nModuleCount=1\r\n"
      << "ScenarioCount=0\r\n[FileInfo]\r\nSummaryEnabled=0\r\nSummaryFileName=\r\n"
      << "LogEnabled=0\r\nLogFileName=\r\nErrorEnabled=0\r\nErrorFileName=\r\n"
      << "[Kalvoro/Options]\r\nTimeLimit=2\r\n"
      << "[Modules]\r\nFile0=" << StallModule << "\r\nLoad0=1\r\nAssignmentCount0=1\r\n"
      << "[" << StallModule << "]\r\nAssign0=TNeverStarts|Default Scenario|ENABLED\r\n";
  return Project.string();
}

} // namespace

TEST(HostDeadlines, HostThatStallsBeforeItsFirstPhaseEndsItsMethodsWithWhatStalled) {
  struct TCase {
    std::string Tag;
    bool Project;
    std::vector<std::string> Extra;
    std::string Cause;
  };
  const std::string ModuleStall = "Module did not start within ";
  const TCase Cases[] = {
      {"timeout", false, {"--timeout", "2"}, ModuleStall + "2 s in the test process"},
      {"project", true, {}, ModuleStall + "2 s in the test process"},
      // Without a time limit the listing's limit holds.
      {"nolimit", false, {}, ModuleStall + "10 s in the test process"},
  };
  TScratch Scratch;
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Tag);
    // The host that lists the module goes on; those that are to run it wait.
    const TEnvironment Listed("KALVORO_TEST_STALL_LISTED",
                              (Scratch.Path() / (Case.Tag + ".listed")).string());
    // A summary of an earlier run, which this run must replace.
    std::ofstream(Scratch.Path() / (Case.Tag + ".summary")) << "an earlier run\r\n";
    const std::string Target = Case.Project ? WriteLimitedProject(Scratch.Path()) : StallModule;
    const TRun Run = RunRunner(Target, Case.Extra, Scratch.Path(), Case.Tag);

    EXPECT_EQ(Run.Code, 1) << Run.Err;
    const std::vector<std::string> Methods = {"TNeverStarts.TestOne", "TNeverStarts.TestTwo"};
    EXPECT_EQ(SummaryResults(Run.Summary),
              (std::vector<std::string>{"EXCEPTION " + Methods[0], "EXCEPTION " + Methods[1]}))
        << Run.Summary;
    // Each as an exception of its Init, which is where the method began.
    const std::string Error = "EXCEPTION (TNeverStarts.Init) " + Case.Cause + "\r\n";
    EXPECT_EQ(Run.Errors, Error + Error);
    EXPECT_NE(Run.Log.rfind("END Default Scenario ("), std::string::npos) << Run.Log;
    EXPECT_EQ(Occurrences(Run.JUnit, "<error message=\"Init: " + Case.Cause + "\""), 2u)
        << Run.JUnit;
    EXPECT_TRUE(Run.JUnit.ends_with("</testsuites>\n")) << Run.JUnit;
  }
}

// A host that never says hello (a library preloaded into it that stalls)
// cannot even list the module: it is not loaded, with what stalled.
TEST(HostDeadlines, AHostThatNeverSaysHelloListsNothingAndSaysSo) {
  TScratch Scratch;
  std::optional<TEnvironment> Sanitizer;
  // The sanitizer's runtime then no longer comes first, which it allows only
  // when told.
  if (SanitizerBuild) {
    const char* Options = std::getenv("ASAN_OPTIONS");
    Sanitizer.emplace("ASAN_OPTIONS",
                      std::string(Options != nullptr ? Options : "") + ":verify_asan_link_order=0");
  }
  std::optional<TEnvironment> Preload;
  Preload.emplace("LD_PRELOAD", std::string(KALVORO_TEST_MODULES_DIR) + "/FaultStallHostStart.so");
  const TRun Run = RunRunner(StallModule, {"--timeout", "1"}, Scratch.Path(), "nohello");
  Preload.reset();
  EXPECT_EQ(Run.Code, 2) << Run.Err;
  EXPECT_NE(Run.Err.find("Test process did not start within 10 s"), std::string::npos) << Run.Err;
}
