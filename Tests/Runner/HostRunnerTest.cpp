// THostRunner against the in-process run, message by message: the same
// sequence reaches the scenario's handlers either way; a module that kills
// every host it gets, and a stop, end the run as they say.
#include "HostRunner.h"

#include "FrameworkTestSupport.h"
#include "UnitTestBase.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Kalvoro {
namespace {

using KalvoroTest::TRecorder;

struct TRunOfModule {
  std::vector<std::string> Lines;
  std::vector<TUnitTestResult> Results;
};

// Runs every unit test of aFile in one scenario, in hosts or in process,
// with aSetUp given the runner and the recorder before the run.
TRunOfModule RunModule(const std::string& aFile, bool aHosts, double aTimeLimit = 0,
                       const std::function<void(THostRunner&, TRecorder&)>& aSetUp = {}) {
  TModule Module(std::string(KALVORO_TEST_MODULES_DIR) + "/" + aFile);
  Module.LoadModule();
  TRunOfModule Run;
  {
    TTestScenario Scenario("Hosted");
    Scenario.SetTimeLimit(aTimeLimit);
    for (TUnitTestBase* UnitTest : Module.UnitTestList())
      Scenario.AddUnitTest(UnitTest);
    TRecorder Recorder;
    Scenario.AddStateNotificationHandler(Recorder.Event());
    THostRunner Hosts;
    if (aSetUp)
      aSetUp(Hosts, Recorder);
    if (aHosts)
      Hosts.Run(Scenario);
    else
      Scenario.Run();
    Run.Lines = Recorder.Lines;
    for (const TUnitTestBase* UnitTest : Module.UnitTestList())
      for (const TUnitTestMethod* Method : UnitTest->Methods())
        Run.Results.push_back(Method->TestResult());
    Scenario.RemoveAllUnitTests();
  }
  Module.UnloadModule();
  return Run;
}

TEST(HostRunner, HandlersSeeWhatTheySeeInProcess) {
  const struct {
    const char* Module;
    double TimeLimit;
  } Cases[] = {{"Crashes.so", 0}, {"Throws.so", 0},  {"Prints.so", 0},
               {"Exits.so", 0},   {"Hangs.so", 0.2}, {"ReportA.so", 0}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Module);
    const TRunOfModule InProcess = RunModule(Case.Module, false, Case.TimeLimit);
    const TRunOfModule Hosted = RunModule(Case.Module, true, Case.TimeLimit);
    EXPECT_EQ(Hosted.Lines, InProcess.Lines);
    EXPECT_EQ(Hosted.Results, InProcess.Results);
    EXPECT_GT(InProcess.Lines.size(), 4u);
  }
}

TEST(HostRunner, AModuleThatKillsEveryHostEndsItsMethodsWithTheReason) {
  const TRunOfModule Run = RunModule("FaultStartUpInHost.so", true);
  EXPECT_EQ(Run.Results, std::vector<TUnitTestResult>(3, tcrException));
  // The host's end as the reason: "Test process ended by SIGSEGV", or under
  // the address sanitizer, whose report ends the process, "... exited with
  // status 1".
  int Reasons = 0;
  for (const std::string& Line : Run.Lines)
    Reasons += Line.rfind("Exception Test process ", 0) == 0 ? 1 : 0;
  EXPECT_EQ(Reasons, 3);
}

TEST(HostRunner, StopEndsTheRunAfterTheRunningMethodAndStopNowAtOnce) {
  // Hangs.so: TestBusyLoop, TestAfterBusyLoop, TestSleep, TestAfterSleep;
  // then TAfterHangs.TestRuns.
  const struct {
    const char* What;
    bool Now;
    std::vector<TUnitTestResult> Results;
  } Cases[] = {
      {"stop", false, {tcrSuccess, tcrTodo, tcrTodo, tcrTodo, tcrTodo}},
      {"stop now", true, {tcrException, tcrTodo, tcrTodo, tcrTodo, tcrTodo}},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.What);
    // A stop pressed while the first method runs; the plain stop lets the
    // busy loop end by its time limit.
    const TRunOfModule Run = RunModule(
        "Hangs.so", true, Case.Now ? 0 : 0.3, [&](THostRunner& aHosts, TRecorder& aRecorder) {
          aRecorder.OnMessage = [&aHosts, Now = Case.Now](const TCustomMessage& aMessage) {
            if (aMessage.GetId() == MessageIdProgress &&
                static_cast<const TProgressMessage&>(aMessage).ProgressType() == ptMethodStart)
              Now ? aHosts.StopNow() : aHosts.Stop();
          };
        });
    std::vector<TUnitTestResult> Expected = Case.Results;
    if (!Case.Now)
      Expected[0] = tcrException; // the time limit ended it
    EXPECT_EQ(Run.Results, Expected);
    const std::string Reason = Case.Now ? "Stopped by the user" : "Time limit of 0.3 s exceeded";
    bool Found = false;
    for (const std::string& Line : Run.Lines)
      Found = Found || Line.find(Reason) != std::string::npos;
    EXPECT_TRUE(Found) << Reason;
  }
}

} // namespace
} // namespace Kalvoro
