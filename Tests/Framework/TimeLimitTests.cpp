// Time limits of the guarded phases: a busy loop, a sleep, a hang in Init or
// Exit each end as an exception of their phase, the run goes on, nothing
// stays armed, and nested runs keep their own limits.
#include "CrashGuard.h"
#include "FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace Kalvoro;
using KalvoroTest::TRecorder;
using KalvoroTest::TScriptedTest;

namespace {

constexpr double Limit = 0.2;

void BusyLoop(TScriptedTest&) {
  volatile unsigned long Counter = 0;
  for (;;)
    Counter = Counter + 1;
}

void Sleep(TScriptedTest&) {
  std::this_thread::sleep_for(std::chrono::seconds(30));
}

void Pass(TScriptedTest& aTest) {
  aTest.Check(true, "passes");
}

std::string Ended(const std::string& aPhase, const std::string& aLimit = "0.2") {
  return "Exception Time limit of " + aLimit + " s exceeded (S,T," + aPhase + ")";
}

class FrameworkTimeLimit : public ::testing::Test {
protected:
  void SetUp() override {
    Test.SetName("T");
    Scenario.AddStateNotificationHandler(Recorder.Event());
  }
  void Prepare(std::vector<TScriptedTest::TMethodScript> aScripts) {
    Test.Scripts = std::move(aScripts);
    Test.Register();
    Scenario.AddUnitTest(&Test);
  }
  void TearDown() override { Scenario.RemoveAllUnitTests(); }

  TModule Module{"/modules/Probe.so"};
  TTestScenario Scenario{"S"};
  TRecorder Recorder;
  TScriptedTest Test{&Module};
};

} // namespace

TEST_F(FrameworkTimeLimit, BusyLoopAndSleepEndAndTheRunGoesOn) {
  EXPECT_EQ(Scenario.TimeLimit(), 0);
  Scenario.SetTimeLimit(Limit);
  Prepare({{"TestBusy", BusyLoop},
           {"TestAfterBusy", Pass},
           {"TestSleep", Sleep},
           {"TestAfterSleep", Pass}});
  const auto Start = std::chrono::steady_clock::now();
  Scenario.Run();
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(10));
  EXPECT_EQ(Recorder.CountOf(Ended("TestBusy")), 1);
  EXPECT_EQ(Recorder.CountOf(Ended("TestSleep")), 1);
  EXPECT_EQ(Recorder.CountOf("Check+ passes"), 2);
  EXPECT_EQ(Recorder.CountOf("ExitFinish(S,T,Exit)"), 4);
  EXPECT_EQ(Scenario.GetSummary().MethodException(), 2);
  EXPECT_EQ(Scenario.GetSummary().MethodSuccess(), 2);
  EXPECT_FALSE(TimeLimitArmed());

  // The next run without a limit is unaffected: a method longer than the old
  // limit passes.
  Scenario.RemoveAllUnitTests();
  TScriptedTest Slow(&Module);
  Slow.SetName("T");
  Slow.Scripts = {{"TestSlow", [](TScriptedTest& aTest) {
                     std::this_thread::sleep_for(std::chrono::milliseconds(400));
                     aTest.Check(true, "slow passes");
                   }}};
  Slow.Register();
  Scenario.SetTimeLimit(0);
  Scenario.AddUnitTest(&Slow);
  Recorder.Lines.clear();
  Scenario.Run();
  EXPECT_EQ(Recorder.CountOf("Check+ slow passes"), 1);
  EXPECT_EQ(Scenario.GetSummary().MethodSuccess(), 1);
  Scenario.RemoveAllUnitTests();
}

TEST_F(FrameworkTimeLimit, HangsInInitAndExitEndTheirPhase) {
  Scenario.SetTimeLimit(Limit);
  bool HangInInit = true;
  Test.OnInit = [&](TScriptedTest& aTest) {
    if (HangInInit)
      Sleep(aTest);
  };
  Test.OnExit = [&](TScriptedTest& aTest) {
    if (!HangInInit)
      BusyLoop(aTest);
  };
  Prepare({{"TestFirst", Pass}, {"TestSecond", Pass}});
  Scenario.Run();
  EXPECT_EQ(Recorder.CountOf(Ended("Init")), 2);
  EXPECT_EQ(Recorder.CountOf("Check+ passes"), 0);
  EXPECT_EQ(Recorder.CountOf("ExitFinish(S,T,Exit)"), 2);

  HangInInit = false;
  Recorder.Lines.clear();
  Scenario.Run();
  EXPECT_EQ(Recorder.CountOf(Ended("Exit")), 2);
  EXPECT_EQ(Recorder.CountOf("Check+ passes"), 2);
  EXPECT_EQ(Scenario.GetSummary().MethodException(), 2);
  EXPECT_FALSE(TimeLimitArmed());
}

// A method of the outer run runs an inner scenario. The inner limit ends only
// the inner method; an outer limit that passes during the inner run ends the
// inner phase it interrupts and then the outer method.
TEST_F(FrameworkTimeLimit, NestedRunsKeepTheirOwnLimits) {
  TTestScenario Inner("I");
  TRecorder InnerRecorder;
  Inner.AddStateNotificationHandler(InnerRecorder.Event());
  TScriptedTest InnerTest(&Module);
  InnerTest.SetName("U");
  InnerTest.Scripts = {{"TestHang", Sleep}, {"TestAfter", Pass}};
  InnerTest.Register();
  Inner.AddUnitTest(&InnerTest);
  Prepare({{"TestOuter",
            [&](TScriptedTest& aTest) {
              Inner.Run();
              aTest.Check(true, "outer goes on");
            }},
           {"TestLast", Pass}});

  Inner.SetTimeLimit(Limit);
  Scenario.SetTimeLimit(0);
  Scenario.Run();
  EXPECT_EQ(InnerRecorder.CountOf("Exception Time limit of 0.2 s exceeded (I,U,TestHang)"), 1);
  EXPECT_EQ(InnerRecorder.CountOf("Check+ passes"), 1);
  EXPECT_EQ(Recorder.CountOf("Check+ outer goes on"), 1);
  EXPECT_EQ(Scenario.GetSummary().MethodSuccess(), 2);
  EXPECT_FALSE(TimeLimitArmed());

  Inner.SetTimeLimit(5);
  Scenario.SetTimeLimit(0.5);
  Recorder.Lines.clear();
  InnerRecorder.Lines.clear();
  const auto Start = std::chrono::steady_clock::now();
  Scenario.Run();
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(4));
  EXPECT_EQ(InnerRecorder.CountOf("Exception Time limit of 0.5 s exceeded (I,U,TestHang)"), 1);
  EXPECT_EQ(Recorder.CountOf(Ended("TestOuter", "0.5")), 1);
  EXPECT_EQ(Recorder.CountOf("Check+ passes"), 1);
  EXPECT_FALSE(TimeLimitArmed());
  Inner.RemoveAllUnitTests();
}

TEST(FrameworkTimeLimitText, LimitsPrintInTheShortestForm) {
  EXPECT_EQ(SecondsText(1), "1");
  EXPECT_EQ(SecondsText(0.5), "0.5");
  EXPECT_EQ(SecondsText(0.1), "0.1");
  EXPECT_EQ(SecondsText(2.25), "2.25");
  TTestScenario Scenario("S");
  EXPECT_THROW(Scenario.SetTimeLimit(-1), EAssertionFailed);
  EXPECT_EQ(Scenario.TimeLimit(), 0);
}
