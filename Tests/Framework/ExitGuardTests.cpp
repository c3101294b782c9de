// Calls of exit, quick_exit, _exit and _Exit from test code (module
// Exits.so) become exceptions of their phase and the run goes on; outside a
// guarded phase, and in a child that a test made with fork or vfork, they
// still end the process as they always do.
#include "FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <vector>

using namespace Kalvoro;
using KalvoroTest::TRecorder;
using KalvoroTest::TScriptedTest;

namespace {

std::string Error(const std::string& aUnitTest, const std::string& aPhase,
                  const std::string& aText) {
  return "Exception " + aText + " (Exits," + aUnitTest + "," + aPhase + ")";
}

// The status with which a child process running aBody ended, -1 if it did
// not end by exit.
int ExitStatusOf(const std::function<void()>& aBody) {
  const pid_t Child = fork();
  if (Child == 0) {
    aBody();
    std::_Exit(99);
  }
  int Status = 0;
  if (Child < 0 || waitpid(Child, &Status, 0) != Child || !WIFEXITED(Status))
    return -1;
  return WEXITSTATUS(Status);
}

} // namespace

TEST(FrameworkExit, ExitInAPhaseIsAnExceptionAndTheRunGoesOn) {
  TModule Module(KALVORO_TEST_MODULES_DIR "/Exits.so");
  ASSERT_TRUE(Module.LoadModule());
  TTestScenario Scenario("Exits");
  TRecorder Recorder;
  Scenario.AddStateNotificationHandler(Recorder.Event());
  for (TUnitTestBase* UnitTest : Module.UnitTestList())
    Scenario.AddUnitTest(UnitTest);
  // Twice: the first run leaves nothing behind that changes the second.
  for (int Round = 0; Round < 2; ++Round) {
    SCOPED_TRACE(Round);
    Recorder.Lines.clear();
    Scenario.Run();
    for (const std::string& Line :
         {Error("TExits", "TestExit", "exit(3) called by the test"),
          Error("TExits", "TestQuickExit", "quick_exit(4) called by the test"),
          Error("TExits", "TestUnderscoreExit", "_exit(5) called by the test"),
          Error("TExits", "TestCapitalExit", "_Exit(6) called by the test"),
          Error("TExitInInit", "Init", "exit(0) called by the test")})
      EXPECT_EQ(Recorder.CountOf(Line), 1) << Line;
    EXPECT_EQ(Recorder.CountOf("Check+ still running"), 1);
    EXPECT_EQ(Recorder.CountOf("ExitFinish(Exits,TExitInInit,Exit)"), 1);
    EXPECT_EQ(Recorder.CountOf("ScenarioFinish(Exits,,)"), 1);
    EXPECT_EQ(Scenario.GetSummary().MethodException(), 5);
    EXPECT_EQ(Scenario.GetSummary().MethodSuccess(), 1);
  }
  Scenario.RemoveAllUnitTests();
}

TEST(FrameworkExit, OutsideAPhaseExitStillEndsTheProcess) {
  // The exit handlers run: the real exit was called, with the status given.
  EXPECT_EQ(ExitStatusOf([] {
              std::atexit([] { std::_Exit(42); });
              std::exit(7);
            }),
            42);
  EXPECT_EQ(ExitStatusOf([] {
              std::at_quick_exit([] { std::_Exit(43); });
              std::quick_exit(7);
            }),
            43);
  EXPECT_EQ(ExitStatusOf([] { std::exit(7); }), 7);

  // A child forked inside a test method ends with its exit; the parent's
  // method goes on and sees the child's status.
  TModule Module("/modules/Probe.so");
  TScriptedTest Test(&Module);
  Test.SetName("T");
  std::vector<int> ChildStatus;
  Test.Scripts = {{"TestForks", [&](TScriptedTest&) {
                     ChildStatus.push_back(ExitStatusOf([] { std::exit(5); }));
                     ChildStatus.push_back(ExitStatusOf([] { _exit(6); }));
                     ChildStatus.push_back(ExitStatusOf([] { std::_Exit(7); }));
                     // A child of vfork shares the parent's memory, its
                     // guarded frames included: its _exit must still end it.
                     const pid_t Child = vfork();
                     if (Child == 0)
                       _exit(8);
                     int Status = 0;
                     waitpid(Child, &Status, 0);
                     ChildStatus.push_back(WIFEXITED(Status) ? WEXITSTATUS(Status) : -1);
                   }}};
  Test.Register();
  TTestScenario Scenario("S");
  Scenario.AddUnitTest(&Test);
  Scenario.Run();
  Scenario.RemoveAllUnitTests();
  EXPECT_EQ(ChildStatus, (std::vector<int>{5, 6, 7, 8}));
  EXPECT_EQ(Scenario.GetSummary().MethodSuccess(), 1);
}
