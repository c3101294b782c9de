// Throws of any type (module Throws.so): each becomes an exception of its
// phase with a text of its own, and the run goes on; thread cancellation
// still passes through.
#include "FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <pthread.h>

using namespace Kalvoro;
using KalvoroTest::TRecorder;
using KalvoroTest::TScriptedTest;

namespace {

std::string Error(const std::string& aUnitTest, const std::string& aPhase,
                  const std::string& aText) {
  return "Exception " + aText + " (Throws," + aUnitTest + "," + aPhase + ")";
}

} // namespace

TEST(FrameworkThrow, ThrowsOfAnyTypeBelongToTheirPhaseAndTheRunGoesOn) {
  TModule Module(KALVORO_TEST_MODULES_DIR "/Throws.so");
  ASSERT_TRUE(Module.LoadModule());
  // Two registrations on one line, two methods registered on one line.
  ASSERT_EQ(Module.UnitTestList().Count(), 3);
  TTestScenario Scenario("Throws");
  TRecorder Recorder;
  Scenario.AddStateNotificationHandler(Recorder.Event());
  for (TUnitTestBase* UnitTest : Module.UnitTestList())
    Scenario.AddUnitTest(UnitTest);
  ASSERT_EQ(Module.UnitTestList()[0]->Methods().Count(), 5);
  Scenario.Run();

  for (const std::string& Line :
       {Error("TThrows", "TestInt", "Unknown exception of type int"),
        Error("TThrows", "TestCString", "plain text"),
        Error("TThrows", "TestString", "string text"),
        Error("TThrows", "TestCustom", "Unknown exception of type Library::TError"),
        Error("TThrowInInit", "Init", "Unknown exception of type int"),
        Error("TThrowInExit", "Exit", "Unknown exception of type Library::TError")})
    EXPECT_EQ(Recorder.CountOf(Line), 1) << Line;
  EXPECT_EQ(Recorder.CountOf("Check+ still running"), 1);
  EXPECT_EQ(Recorder.CountOf("Report method ran"), 0);
  EXPECT_EQ(Recorder.CountOf("Check+ method passes"), 1);
  EXPECT_EQ(Recorder.CountOf("ExitFinish(Throws,TThrowInInit,Exit)"), 1);
  EXPECT_EQ(Recorder.CountOf("ScenarioFinish(Throws,,)"), 1);
  const TSummary& Summary = Scenario.GetSummary();
  EXPECT_EQ(Summary.MethodException(), 6);
  EXPECT_EQ(Summary.MethodSuccess(), 1);
  Scenario.RemoveAllUnitTests();
}

// A thread cancelled inside a test method unwinds through the guarded phases
// (Exit still runs) instead of being reported as an exception.
TEST(FrameworkThrow, ThreadCancellationPassesThrough) {
  struct TRun {
    TModule Module{"/modules/Probe.so"};
    TTestScenario Scenario{"S"};
    TRecorder Recorder;
    TScriptedTest Test{&Module};
    bool ExitRan = false;
  } Run;
  Run.Test.SetName("T");
  Run.Test.Scripts = {{"TestCancel", [](TScriptedTest&) {
                         pthread_cancel(pthread_self());
                         pthread_testcancel();
                       }}};
  Run.Test.OnExit = [&Run](TScriptedTest&) { Run.ExitRan = true; };
  Run.Test.Register();
  Run.Scenario.AddUnitTest(&Run.Test);
  Run.Scenario.AddStateNotificationHandler(Run.Recorder.Event());

  pthread_t Thread;
  ASSERT_EQ(pthread_create(
                &Thread, nullptr,
                [](void* aRun) -> void* {
                  static_cast<TRun*>(aRun)->Scenario.Run();
                  return nullptr;
                },
                &Run),
            0);
  void* Result = nullptr;
  ASSERT_EQ(pthread_join(Thread, &Result), 0);
  EXPECT_EQ(Result, PTHREAD_CANCELED);
  EXPECT_TRUE(Run.ExitRan);
  for (const std::string& Line : Run.Recorder.Lines)
    EXPECT_EQ(Line.rfind("Exception", 0), std::string::npos) << Line;
  EXPECT_EQ(Run.Test.CurrentMethodIndex(), -1);
  Run.Scenario.RemoveAllUnitTests();
}

// An exception whose what() gives no text (nullptr, a crash inside what(), a
// text that cannot be read) reads as its type, belongs to its phase, and the
// run goes on.
TEST(FrameworkThrow, AWhatWithoutATextReadsAsTheExceptionsType) {
  TModule Module(KALVORO_TEST_MODULES_DIR "/BadWhat.so");
  ASSERT_TRUE(Module.LoadModule());
  TTestScenario Scenario("BadWhat");
  TRecorder Recorder;
  Scenario.AddStateNotificationHandler(Recorder.Event());
  for (TUnitTestBase* UnitTest : Module.UnitTestList())
    Scenario.AddUnitTest(UnitTest);
  Scenario.Run();

  const struct {
    const char* UnitTest;
    const char* Phase;
    const char* Type;
  } Cases[] = {{"TBadWhat", "TestNoText", "Library::TNoText"},
               {"TBadWhat", "TestCrashingText", "Library::TCrashingText"},
               {"TBadWhat", "TestUnreadableText", "Library::TUnreadableText"},
               {"TBadWhatInExit", "Exit", "Library::TCrashingText"}};
  for (const auto& Case : Cases) {
    const std::string Line = "Exception Exception of type " + std::string(Case.Type) +
                             " with no message (BadWhat," + Case.UnitTest + "," + Case.Phase + ")";
    EXPECT_EQ(Recorder.CountOf(Line), 1) << Line;
  }
  EXPECT_EQ(Recorder.CountOf("Check+ still running"), 1);
  EXPECT_EQ(Recorder.CountOf("ScenarioFinish(BadWhat,,)"), 1);
  EXPECT_EQ(Scenario.GetSummary().MethodException(), 4);
  EXPECT_EQ(Scenario.GetSummary().MethodSuccess(), 1);
  Scenario.RemoveAllUnitTests();
}
