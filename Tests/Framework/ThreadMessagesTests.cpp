// Checks and reports from threads of a test: delivered on the running thread,
// in the order made, before the phase ends, counted for the method that ran
// when they were made; dropped and counted when none ran.
#include "FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>
#include <vector>

using namespace Kalvoro;
using KalvoroTest::TRecorder;
using KalvoroTest::TScriptedTest;

namespace {

class FrameworkThreadMessages : public ::testing::Test {
protected:
  void SetUp() override {
    Test.SetName("T");
    Other.SetName("U");
    Scenario.AddStateNotificationHandler(Recorder.Event());
    Recorder.OnMessage = [this](const TCustomMessage&) {
      if (std::this_thread::get_id() != RunThread)
        ++HandledElsewhere;
    };
  }
  void TearDown() override { Scenario.RemoveAllUnitTests(); }
  void Run() {
    Test.Register();
    Other.Register();
    Scenario.AddUnitTest(&Test);
    Scenario.AddUnitTest(&Other);
    Scenario.Run();
  }
  int IndexOf(const std::string& aLine) const {
    for (std::size_t I = 0; I < Recorder.Lines.size(); ++I)
      if (Recorder.Lines[I] == aLine)
        return static_cast<int>(I);
    return -1;
  }

  TModule Module{"/modules/Probe.so"};
  TTestScenario Scenario{"S"};
  TRecorder Recorder;
  TScriptedTest Test{&Module};
  TScriptedTest Other{&Module};
  std::thread::id RunThread = std::this_thread::get_id();
  int HandledElsewhere = 0;
};

} // namespace

// Four threads check and report at once; every message arrives, on the
// running thread, each thread's in its order, before the method finishes.
TEST_F(FrameworkThreadMessages, ChecksAndReportsOfSeveralThreadsAtOnceArriveInOrder) {
  constexpr int Threads = 4;
  constexpr int Calls = 200;
  Test.Scripts = {{"TestThreads", [](TScriptedTest& aTest) {
                     std::vector<std::thread> Workers;
                     for (int T = 0; T < Threads; ++T)
                       Workers.emplace_back([&aTest, T] {
                         for (int I = 0; I < Calls; ++I) {
                           const std::string Text = std::to_string(T) + ":" + std::to_string(I);
                           aTest.Check(false, Text);
                           aTest.Report(Text);
                         }
                       });
                     for (std::thread& Worker : Workers)
                       Worker.join();
                   }}};
  Other.Scripts = {{"TestOther", [](TScriptedTest& aTest) { aTest.Check(true, "other passes"); }}};
  Run();

  const int Finish = IndexOf("MethodFinish(S,T,TestThreads)");
  ASSERT_GE(Finish, 0);
  for (int T = 0; T < Threads; ++T)
    for (const char* Kind : {"Check- ", "Report "}) {
      int Previous = -1;
      for (int I = 0; I < Calls; ++I) {
        const std::string Text = std::to_string(T) + ":" + std::to_string(I);
        const int At = IndexOf(Kind + Text + (Kind[0] == 'C' ? " (S,T,TestThreads)" : ""));
        ASSERT_GT(At, Previous) << Kind << Text;
        ASSERT_LT(At, Finish) << Kind << Text;
        Previous = At;
      }
    }
  EXPECT_EQ(HandledElsewhere, 0);
  EXPECT_EQ(Test.Methods()[0]->TestResult(), tcrFailure);
  EXPECT_EQ(Other.Methods()[0]->TestResult(), tcrSuccess);
  EXPECT_EQ(Scenario.GetSummary().DroppedMessages(), 0);
}

// A thread started by one method checks later: while another method of its
// unit test runs, the check counts for that method; while no method of its
// unit test runs, it is dropped and the summary counts it.
TEST_F(FrameworkThreadMessages, ALateCheckCountsForTheRunningMethodOrIsDropped) {
  const struct {
    const char* Case;
    bool ReleasedByOwnUnitTest;
    const char* Line;
    TUnitTestResult Second;
    int Dropped;
  } Cases[] = {
      {"own unit test", true, "Check- late (S,T,TestSecond)", tcrFailure, 0},
      {"other unit test", false, "", tcrSuccess, 1},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Case);
    TearDown();
    Recorder.Lines.clear();
    TScriptedTest Own(&Module), Another(&Module);
    Own.SetName("T");
    Another.SetName("U");
    std::promise<void> Release;
    std::shared_future<void> Released = Release.get_future().share();
    std::thread Late;
    const std::function<void(TScriptedTest&)> ReleaseAndWait = [&](TScriptedTest&) {
      Release.set_value();
      Late.join();
    };
    Own.Scripts = {{"TestStarts",
                    [&](TScriptedTest& aTest) {
                      Late = std::thread([&aTest, Released] {
                        Released.wait();
                        aTest.Check(false, "late");
                      });
                    }},
                   {"TestSecond", Case.ReleasedByOwnUnitTest ? ReleaseAndWait : nullptr}};
    Another.Scripts = {{"TestReleases", Case.ReleasedByOwnUnitTest ? nullptr : ReleaseAndWait}};
    Own.Register();
    Another.Register();
    Scenario.AddUnitTest(&Own);
    Scenario.AddUnitTest(&Another);
    Scenario.Run();
    if (Late.joinable())
      Late.join();

    EXPECT_EQ(Own.Methods()[0]->TestResult(), tcrSuccess);
    EXPECT_EQ(Own.Methods()[1]->TestResult(), Case.Second);
    EXPECT_EQ(Another.Methods()[0]->TestResult(), tcrSuccess);
    int Checks = 0;
    for (const std::string& Line : Recorder.Lines)
      Checks += Line.rfind("Check- late", 0) == 0;
    EXPECT_EQ(Checks, Case.Dropped == 0 ? 1 : 0);
    if (*Case.Line != '\0') {
      EXPECT_EQ(Recorder.CountOf(Case.Line), 1);
    }
    EXPECT_EQ(Scenario.GetSummary().DroppedMessages(), Case.Dropped);
    Scenario.RemoveAllUnitTests();
  }
}
