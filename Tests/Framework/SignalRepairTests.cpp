// Test code that changes signal handlers or masks and leaves them so (module
// Signals.so): the crash guard, the time limit and the interruption are in
// force again for the next phase, and the run's end puts back what the
// program had.
#include "CrashGuard.h"
#include "FrameworkTestSupport.h"
#include "Interruption.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <cstring>
#include <thread>

using namespace Kalvoro;
using KalvoroTest::TRecorder;
using KalvoroTest::TScriptedTest;

namespace {

// What a run may change: the handlers of the guarded signals and the
// thread's mask.
struct TSignalState {
  void* Handlers[6];
  sigset_t Mask;

  static TSignalState Now() {
    const int Signals[] = {SIGSEGV, SIGFPE, SIGBUS, SIGILL, SIGABRT, SIGRTMIN + 1};
    TSignalState State{};
    for (int I = 0; I < 6; ++I) {
      struct sigaction Action {};
      sigaction(Signals[I], nullptr, &Action);
      State.Handlers[I] = reinterpret_cast<void*>(Action.sa_sigaction);
    }
    pthread_sigmask(SIG_BLOCK, nullptr, &State.Mask);
    return State;
  }
};

void ExpectSameState(const TSignalState& aBefore, const TSignalState& aAfter) {
  for (int I = 0; I < 6; ++I)
    EXPECT_EQ(aBefore.Handlers[I], aAfter.Handlers[I]) << I;
  for (int Signal = 1; Signal < SIGRTMAX; ++Signal)
    EXPECT_EQ(sigismember(&aBefore.Mask, Signal), sigismember(&aAfter.Mask, Signal)) << Signal;
}

class FrameworkSignalRepair : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(Module.LoadModule());
    Scenario.AddStateNotificationHandler(Recorder.Event());
  }
  void TearDown() override { Scenario.RemoveAllUnitTests(); }
  void RunAlone(const char* aUnitTest) {
    Scenario.RemoveAllUnitTests();
    Recorder.Lines.clear();
    Scenario.AddUnitTest(Module.UnitTestList().FindByName(aUnitTest));
    Scenario.Run();
  }
  static std::string Place(const std::string& aUnitTest, const std::string& aMethod) {
    return "(Signals," + aUnitTest + "," + aMethod + ")";
  }
  static std::string Line(const std::string& aWhat, const std::string& aUnitTest,
                          const std::string& aMethod) {
    return aWhat + " " + Place(aUnitTest, aMethod);
  }

  TModule Module{KALVORO_TEST_MODULES_DIR "/Signals.so"};
  TTestScenario Scenario{"Signals"};
  TRecorder Recorder;
};

} // namespace

TEST_F(FrameworkSignalRepair, ACrashAfterATestChangedTheCrashSignalIsCaught) {
  const TSignalState Before = TSignalState::Now();
  for (const char* UnitTest : {"TSegvDefault", "TSegvIgnored", "TSegvBlocked", "TAllBlocked"}) {
    SCOPED_TRACE(UnitTest);
    RunAlone(UnitTest);
    EXPECT_EQ(Recorder.CountOf(Line("Exception Access violation (SIGSEGV)", UnitTest, "TestCrash")),
              1);
    EXPECT_EQ(Recorder.CountOf("Check+ still running"), 1);
    EXPECT_EQ(Scenario.GetSummary().MethodSuccess(), 2);
    EXPECT_EQ(Scenario.GetSummary().MethodException(), 1);
    ExpectSameState(Before, TSignalState::Now());
  }
}

// The time limit's signal, held back while the method had every signal
// blocked, ends that method once; it does not end the next method, and the
// time limit ends a hanging method again.
TEST_F(FrameworkSignalRepair, ATimerSignalHeldBackEndsOnlyItsOwnPhase) {
  Scenario.SetTimeLimit(0.1);
  RunAlone("TBlockedPastLimit");
  const std::string Exceeded = "Exception Time limit of 0.1 s exceeded";
  const struct {
    const char* Method;
    int Exceptions;
  } Cases[] = {{"TestBlockAndSleep", 1}, {"TestShort", 0}, {"TestHang", 1}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Method);
    EXPECT_EQ(Recorder.CountOf(Line(Exceeded, "TBlockedPastLimit", Case.Method)), Case.Exceptions);
    for (const char* Progress : {"MethodStart", "MethodFinish"})
      EXPECT_EQ(Recorder.CountOf(Progress + Place("TBlockedPastLimit", Case.Method)), 1);
  }
  EXPECT_EQ(Recorder.CountOf("ExitFinish" + Place("TBlockedPastLimit", "Exit")), 3);
  EXPECT_EQ(Recorder.CountOf("Check+ short one passes"), 1);
  EXPECT_EQ(Recorder.Lines.back(), "ScenarioFinish(Signals,,)");
}

// After a method that blocked every signal, SIGINT and SIGTERM still end the
// next method.
TEST(FrameworkSignalRepairInterruption, InterruptionWorksAfterATestBlockedEverySignal) {
  for (const int Signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(Signal);
    TModule Module("/modules/Probe.so");
    TTestScenario Scenario("S");
    TRecorder Recorder;
    TScriptedTest Test(&Module);
    Test.SetName("T");
    Test.Scripts = {{"TestBlock",
                     [](TScriptedTest&) {
                       sigset_t All;
                       sigfillset(&All);
                       pthread_sigmask(SIG_BLOCK, &All, nullptr);
                     }},
                    {"TestSleep", [](TScriptedTest&) {
                       std::this_thread::sleep_for(std::chrono::seconds(30));
                     }}};
    Test.Register();
    Scenario.AddUnitTest(&Test);
    Scenario.AddStateNotificationHandler(Recorder.Event());
    const pthread_t RunThread = pthread_self();
    {
      TInterruptScope Interrupt;
      std::thread Sender([RunThread, Signal] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        pthread_kill(RunThread, Signal);
      });
      Scenario.Run();
      Sender.join();
    }
    EXPECT_EQ(Recorder.CountOf("Exception Interrupted (" +
                               std::string(InterruptSignalName(Signal)) + ") (S,T,TestSleep)"),
              1);
    Scenario.RemoveAllUnitTests();
  }
}
