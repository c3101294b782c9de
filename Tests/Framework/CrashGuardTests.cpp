// Crashing test methods (module Crashes.so): each crash becomes an exception
// of its phase and the run goes on.
#include "CrashGuard.h"
#include "FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <array>
#include <cstring>
#include <future>
#include <thread>

using namespace Kalvoro;
using KalvoroTest::TRecorder;

namespace {

constexpr std::array<int, 5> CrashSignals = {SIGSEGV, SIGFPE, SIGBUS, SIGILL, SIGABRT};

using TActions = std::array<struct sigaction, CrashSignals.size()>;

TActions CurrentActions() {
  TActions Actions{};
  for (std::size_t I = 0; I < CrashSignals.size(); ++I)
    sigaction(CrashSignals[I], nullptr, &Actions[I]);
  return Actions;
}

// Sets every action again through the C library, which adds flags of its own
// when it installs an action, so that "before" and "after" compare alike.
TActions NormalisedActions() {
  TActions Actions = CurrentActions();
  for (std::size_t I = 0; I < CrashSignals.size(); ++I)
    sigaction(CrashSignals[I], &Actions[I], nullptr);
  return CurrentActions();
}

void ExpectSameActions(const TActions& aBefore, const TActions& aAfter) {
  for (std::size_t I = 0; I < CrashSignals.size(); ++I) {
    SCOPED_TRACE(strsignal(CrashSignals[I]));
    EXPECT_EQ(reinterpret_cast<void*>(aBefore[I].sa_sigaction),
              reinterpret_cast<void*>(aAfter[I].sa_sigaction));
    EXPECT_EQ(aBefore[I].sa_flags, aAfter[I].sa_flags);
    // Only the signals' bits are meaningful; the rest of a sigset_t is padding.
    for (int Signal = 1; Signal < SIGRTMAX; ++Signal)
      EXPECT_EQ(sigismember(&aBefore[I].sa_mask, Signal), sigismember(&aAfter[I].sa_mask, Signal))
          << Signal;
  }
}

void MarkerHandler(int) {}

} // namespace

class FrameworkCrash : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(Module.LoadModule());
    Scenario.AddStateNotificationHandler(Recorder.Event());
  }
  TUnitTestBase* Add(const char* aName) {
    TUnitTestBase* UnitTest = Module.UnitTestList().FindByName(aName);
    Scenario.AddUnitTest(UnitTest);
    return UnitTest;
  }
  std::string Error(const std::string& aUnitTest, const std::string& aMethod,
                    const std::string& aText) const {
    return "Exception " + aText + " (Crashes," + aUnitTest + "," + aMethod + ")";
  }

  TModule Module{KALVORO_TEST_MODULES_DIR "/Crashes.so"};
  TTestScenario Scenario{"Crashes"};
  TRecorder Recorder;
};

TEST_F(FrameworkCrash, EveryCrashKindIsCaughtAndTheRunGoesOn) {
  TUnitTestBase* Crashing = Add("TCrashMethods");
  ASSERT_NE(Crashing, nullptr);
  const std::vector<std::pair<std::string, std::string>> Expected = {
      {"TestAccessViolation", "Access violation (SIGSEGV)"},
      {"TestDivideByZero", "Integer division by zero (SIGFPE)"},
      {"TestAbort", "Abnormal termination (SIGABRT)"},
      {"TestIllegalInstruction", "Illegal instruction (SIGILL)"},
      {"TestBusError", "Bus error (SIGBUS)"}};
  // Twice: the second run shows that the first one left nothing blocked.
  for (int Round = 0; Round < 2; ++Round) {
    SCOPED_TRACE(Round);
    Recorder.Lines.clear();
    Scenario.Run();
    for (const auto& [Method, Text] : Expected)
      EXPECT_EQ(Recorder.CountOf(Error("TCrashMethods", Method, Text)), 1) << Method;
    EXPECT_EQ(Recorder.CountOf("Check+ still running"), 1);
    EXPECT_EQ(Recorder.CountOf("ExitFinish(Crashes,TCrashMethods,Exit)"), 6);
    EXPECT_EQ(Recorder.CountOf("ScenarioFinish(Crashes,,)"), 1);
    const TSummary& Summary = Scenario.GetSummary();
    EXPECT_EQ(Summary.MethodException(), 5);
    EXPECT_EQ(Summary.MethodSuccess(), 1);
    EXPECT_EQ(Crashing->TestResult(), tcrException);
  }
}

TEST_F(FrameworkCrash, CrashesInInitAndExit) {
  TUnitTestBase* InInit = Add("TCrashInInit");
  TUnitTestBase* InExit = Add("TCrashInExit");
  Scenario.Run();
  EXPECT_EQ(Recorder.CountOf(Error("TCrashInInit", "Init", "Access violation (SIGSEGV)")), 1);
  EXPECT_EQ(Recorder.CountOf("Report method ran"), 0);
  EXPECT_EQ(Recorder.CountOf("ExitFinish(Crashes,TCrashInInit,Exit)"), 1);
  EXPECT_EQ(Recorder.CountOf("Check+ method passes"), 1);
  EXPECT_EQ(Recorder.CountOf(Error("TCrashInExit", "Exit", "Abnormal termination (SIGABRT)")), 1);
  EXPECT_EQ(InInit->Methods()[0]->TestResult(), tcrException);
  EXPECT_EQ(InExit->Methods()[0]->TestResult(), tcrException);
}

TEST_F(FrameworkCrash, StackOverflowIsCaught) {
  Add("TStackOverflow");
  Scenario.Run();
  EXPECT_EQ(Recorder.CountOf(Error("TStackOverflow", "TestOverflow", "Stack overflow (SIGSEGV)")),
            1);
  EXPECT_EQ(Recorder.CountOf("Check+ still running"), 1);
  EXPECT_EQ(Scenario.GetSummary().MethodSuccess(), 1);
}

TEST_F(FrameworkCrash, SignalHandlersAreRestoredAfterARun) {
  // A handler of our own on one signal, so that restoring is not restoring a default.
  struct sigaction Marker {
  }, Original{};
  Marker.sa_handler = &MarkerHandler;
  Marker.sa_flags = SA_RESTART;
  sigemptyset(&Marker.sa_mask);
  sigaddset(&Marker.sa_mask, SIGUSR1);
  sigaction(SIGILL, &Marker, &Original);

  TUnitTestBase* InInit = Add("TCrashInInit");
  const TActions Before = NormalisedActions();
  Scenario.Run();
  ExpectSameActions(Before, CurrentActions());
  // A unit test run on its own, outside a scenario's run, guards its phases too.
  Recorder.Lines.clear();
  InInit->Run();
  EXPECT_EQ(Recorder.CountOf(Error("TCrashInInit", "Init", "Access violation (SIGSEGV)")), 1);
  ExpectSameActions(Before, CurrentActions());

  sigaction(SIGILL, &Original, nullptr);
}

// Dispositions belong to the process. Scopes of two threads that overlap keep
// the handlers installed until the last one closes, which then puts back the
// original handlers rather than the guard's own.
TEST(FrameworkCrashGuard, OverlappingScopesOfTwoThreadsRestoreTheOriginalHandlers) {
  const TActions Before = NormalisedActions();
  std::promise<void> WorkerOpened, MainClosed;
  std::future<void> WorkerOpenedSeen = WorkerOpened.get_future();
  std::shared_future<void> MainClosedSeen = MainClosed.get_future().share();
  bool StillGuarded = false;
  std::string Caught;
  std::thread Worker;
  {
    TSignalScope MainScope;
    const TActions Guarded = CurrentActions();
    Worker = std::thread([&, Guarded] {
      TSignalScope WorkerScope;
      WorkerOpened.set_value();
      MainClosedSeen.wait();
      StillGuarded = CurrentActions()[3].sa_sigaction == Guarded[3].sa_sigaction;
      if (!StillGuarded)
        return; // raising now would take the process down
      try {
        RunGuarded([] { raise(SIGILL); });
      } catch (const Exception& Error) {
        Caught = Error.what();
      }
    });
    WorkerOpenedSeen.wait();
  }
  MainClosed.set_value();
  Worker.join();
  EXPECT_TRUE(StillGuarded) << "the first scope to close removed the other thread's guard";
  EXPECT_EQ(Caught, "Illegal instruction (SIGILL)");
  ExpectSameActions(Before, CurrentActions());
}
