// THostRunner against the in-process run, message by message: the same
// sequence reaches the scenario's handlers either way; a module that kills
// every host it gets, and a stop, end the run as they say; hosts serve one
// module after another.
#include "HostRunner.h"

#include "FrameworkTestSupport.h"
#include "TestFiles.h"
#include "UnitTestBase.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
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
  // the address sanitizer, whose report ends the process, the report's first
  // line.
  int Reasons = 0;
  for (const std::string& Line : Run.Lines)
    Reasons += Line.rfind("Exception Test process ", 0) == 0 ||
                       Line.rfind("Exception AddressSanitizer: SEGV on unknown address ", 0) == 0
                   ? 1
                   : 0;
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

struct TSharedRuns {
  std::vector<std::string> Lines;
  std::map<std::string, TUnitTestResult> Results; // by "unit test.method", of the last run
  int Started = 0;                                // the hosts that the runner started
};

// Runs aModules' unit tests in one scenario aRuns times, in process or by
// one host runner.
TSharedRuns RunModules(const std::vector<const char*>& aModules, bool aHosts, int aRuns) {
  std::vector<std::unique_ptr<TModule>> Modules;
  TTestScenario Scenario("Shared");
  for (const char* File : aModules) {
    Modules.push_back(
        std::make_unique<TModule>(std::string(KALVORO_TEST_MODULES_DIR) + "/" + File));
    Modules.back()->LoadModule();
    for (TUnitTestBase* UnitTest : Modules.back()->UnitTestList())
      Scenario.AddUnitTest(UnitTest);
  }
  TRecorder Recorder;
  Scenario.AddStateNotificationHandler(Recorder.Event());
  TSharedRuns Runs;
  {
    THostRunner Hosts;
    for (int Run = 0; Run < aRuns; ++Run)
      aHosts ? Hosts.Run(Scenario) : Scenario.Run();
    Runs.Started = Hosts.HostsStarted();
  }
  Runs.Lines = Recorder.Lines;
  for (const TUnitTestBase* UnitTest : Scenario.UnitTestList())
    for (const TUnitTestMethod* Method : UnitTest->Methods())
      Runs.Results[UnitTest->Name() + "." + Method->Name()] = Method->TestResult();
  Scenario.RemoveAllUnitTests();
  for (const auto& Module : Modules)
    Module->UnloadModule();
  return Runs;
}

int OpenDescriptors() {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                        std::filesystem::directory_iterator()));
}

TEST(HostRunner, AHostServesModuleAfterModuleAndRunAfterRunUntilACrashOrItsEnd) {
  // Two runs of the modules by one runner, with the least and the most hosts
  // that they start. A fault module (its host ends) runs in hosts only,
  // after the first module; the others' results must be as in process.
  const struct {
    std::vector<const char*> Modules;
    const char* Fault;
    int Least;
    int Most;
  } Cases[] = {
      {{"Prints.so", "Throws.so", "Exits.so", "ReportA.so"}, nullptr, 1, 1},
      {{"Prints.so", "Crashes.so", "ReportA.so"}, nullptr, 3, 1000},
      {{"Prints.so", "Throws.so"}, "FaultExitGroup.so", 3, 1000},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Modules[1]);
    const TSharedRuns InProcess = RunModules(Case.Modules, false, 2);
    std::vector<const char*> Hosted = Case.Modules;
    if (Case.Fault != nullptr)
      Hosted.insert(Hosted.begin() + 1, Case.Fault);
    const int DescriptorsBefore = OpenDescriptors();
    const TSharedRuns Runs = RunModules(Hosted, true, 2);
    if (Case.Fault == nullptr) {
      EXPECT_EQ(Runs.Lines, InProcess.Lines);
    }
    for (const auto& [Name, Result] : InProcess.Results)
      EXPECT_EQ(Runs.Results.at(Name), Result) << Name;
    EXPECT_EQ(InProcess.Started, 0);
    EXPECT_GE(Runs.Started, Case.Least);
    EXPECT_LE(Runs.Started, Case.Most);
    // The runner ended every host, the idle ones too, and closed their files.
    EXPECT_EQ(OpenDescriptors(), DescriptorsBefore);
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  }
}

TEST(HostRunner, AMethodsOutputIsKeptByItsFirstAndLastPartsWithWhatWasLeftOut) {
  TModule Module(std::string(KALVORO_TEST_MODULES_DIR) + "/FaultOutputFlood.so");
  Module.LoadModule();
  TTestScenario Scenario("Kept");
  for (TUnitTestBase* UnitTest : Module.UnitTestList())
    Scenario.AddUnitTest(UnitTest);
  std::map<std::string, std::string> Kept;
  {
    // The runner passes the output on to its own, here to nowhere.
    std::fflush(stdout);
    const int Own = dup(STDOUT_FILENO);
    const int Nowhere = open("/dev/null", O_WRONLY | O_CLOEXEC);
    dup2(Nowhere, STDOUT_FILENO);
    THostRunner Hosts;
    Hosts.Run(Scenario);
    std::fflush(stdout);
    dup2(Own, STDOUT_FILENO);
    close(Own);
    close(Nowhere);
    for (const TUnitTestBase* UnitTest : Module.UnitTestList())
      for (const TUnitTestMethod* Method : UnitTest->Methods())
        Kept[Method->Name()] = Hosts.MethodOutput(*Method);
  }
  Scenario.RemoveAllUnitTests();
  Module.UnloadModule();

  // 64 MiB and 13 bytes: the first and last 64 KiB, and a line between.
  const std::string& Flood = Kept["TestFlood"];
  const std::size_t Part = THostRunner::KeptOutput;
  const std::string Note = "\n[... " + std::to_string((std::size_t{64} << 20) + 13 - 2 * Part) +
                           " bytes left out ...]\n";
  ASSERT_EQ(Flood.size(), 2 * Part + Note.size());
  EXPECT_EQ(Flood.substr(0, 7), "<first>");
  EXPECT_EQ(Flood.substr(Part, Note.size()), Note);
  EXPECT_EQ(Flood.substr(Flood.size() - 6), "<last>");
  EXPECT_EQ(std::count(Flood.begin(), Flood.end(), 'x'), 2 * Part - 13);
  // What fits is kept whole.
  EXPECT_EQ(Kept["TestAfter"], "after the flood\n");
}

} // namespace
} // namespace Kalvoro

namespace Kalvoro {
namespace {

// Whether process aPid is gone (or only waits to be reaped) within a few
// seconds.
bool Gone(pid_t aPid) {
  for (int Look = 0; Look < 500; ++Look) {
    const std::string Stat = KalvoroTest::ReadFile("/proc/" + std::to_string(aPid) + "/stat");
    const std::size_t NameEnd = Stat.rfind(')');
    if (NameEnd == std::string::npos || Stat.compare(NameEnd, 3, ") Z") == 0)
      return true;
    usleep(10000);
  }
  kill(aPid, SIGKILL);
  return false;
}

} // namespace

// A runner that takes in no orphans (as Morvane, which must not) still ends
// what a host's tests left, also in a session of their own and when the
// host ended at once: they carry the host's mark.
TEST(HostRunner, WhatAHostsTestsLeftEndsWithTheHost) {
  KalvoroTest::TScratchDir Dir;
  const std::string Pids = Dir.File("left.pids");
  setenv("KALVORO_TEST_LEFT_PIDS", Pids.c_str(), 1);
  RunModule("FaultLeftProcesses.so", true);
  unsetenv("KALVORO_TEST_LEFT_PIDS");
  std::istringstream Left(KalvoroTest::ReadFile(Pids));
  int Count = 0;
  for (pid_t Pid; Left >> Pid; ++Count)
    EXPECT_TRUE(Gone(Pid)) << "process " << Pid << " was left";
  EXPECT_EQ(Count, 4);
}

} // namespace Kalvoro
