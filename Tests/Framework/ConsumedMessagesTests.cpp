// What a run builds depends on what its handlers say they consume; whatever is
// built still reaches every handler, and changes to the handlers take effect
// at the very next check.
#include "FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace Kalvoro;
using KalvoroTest::TRecorder;
using KalvoroTest::TScriptedTest;
using TLines = std::vector<std::string>;

namespace {

TMessageEvent Consuming(TRecorder& aRecorder, std::uint32_t aConsumes) {
  TMessageEvent Event = aRecorder.Event();
  Event.Consumes = aConsumes;
  return Event;
}

constexpr std::uint32_t ErrorsOnly = FailedChecksBit | MessageIdBit(MessageIdException);

} // namespace

class FrameworkConsumedMessages : public ::testing::Test {
protected:
  void Prepare(std::function<void(TScriptedTest&)> aBody) {
    Test.SetName("T");
    Test.Scripts = {{"M", std::move(aBody)}};
    Test.Register();
    Scenario.AddUnitTest(&Test);
  }

  TModule Module{"/modules/Probe.so"};
  TTestScenario Scenario{"S"};
  TScriptedTest Test{&Module};
  TRecorder Errors;
  TRecorder Everything;
};

TEST(FrameworkMessageIdBits, FailedChecksHaveABitOfTheirOwn) {
  std::uint32_t Seen = 0;
  for (std::int32_t Id = 100; Id < 131; ++Id) {
    EXPECT_EQ(MessageIdBit(Id) & FailedChecksBit, 0u) << Id;
    EXPECT_EQ(MessageIdBit(Id) & Seen, 0u) << Id;
    Seen |= MessageIdBit(Id);
  }
  EXPECT_EQ(MessageIdBit(99), 0u);
  EXPECT_EQ(MessageIdBit(131), 0u);
  EXPECT_NE(AllMessageIds & FailedChecksBit, 0u);

  TRecorder Recorder;
  TMessageEventList List;
  EXPECT_FALSE(List.ConsumesFailedChecks());
  List.AddEventHandler(Consuming(Recorder, FailedChecksBit));
  EXPECT_TRUE(List.ConsumesFailedChecks());
  EXPECT_FALSE(List.Consumes(MessageIdCheck));
  // A handler of every check wants the failed ones too.
  TMessageEventList Checks;
  Checks.AddEventHandler(Consuming(Recorder, MessageIdBit(MessageIdCheck)));
  EXPECT_TRUE(Checks.ConsumesFailedChecks());
  EXPECT_TRUE(Checks.Consumes(MessageIdCheck));
  // A flag follows the list, for the ids it was added with, until it is
  // removed.
  unsigned char Passed = 7;
  unsigned char Failed = 7;
  List.AddConsumedFlag(&Passed, MessageIdBit(MessageIdCheck));
  List.AddConsumedFlag(&Failed, FailedChecksBit);
  EXPECT_EQ(Passed, 0);
  EXPECT_EQ(Failed, 1);
  List.RemoveEventHandler(Consuming(Recorder, FailedChecksBit));
  EXPECT_EQ(Failed, 0);
  TMessageEventList::CopyList(&Checks, &List);
  EXPECT_EQ(Passed, 1);
  EXPECT_EQ(Failed, 0);
  List.Clear();
  EXPECT_EQ(Passed, 0);
  List.AddEventHandler(Recorder.Event());
  EXPECT_EQ(Passed, 1);
  EXPECT_EQ(Failed, 1);
  List.RemoveConsumedFlag(&Passed);
  List.Clear();
  EXPECT_EQ(Passed, 1);
  EXPECT_EQ(Failed, 0);
  EXPECT_EQ(List.ConsumedIds(), 0u);
}

TEST_F(FrameworkConsumedMessages, PassingChecksAreNotBuiltForAnErrorList) {
  std::vector<bool> Returned;
  Prepare([&](TScriptedTest& aTest) {
    Returned.push_back(aTest.Check(true, "a"));
    Returned.push_back(aTest.Check(false, "b"));
    Returned.push_back(aTest.Check(true, std::string("c")));
    Returned.push_back(aTest.Check(false, std::string("d")));
    throw std::runtime_error("boom");
  });
  Scenario.AddStateNotificationHandler(Consuming(Errors, ErrorsOnly));
  Scenario.Run();
  // No passing check and no progress: nobody asked for them.
  EXPECT_EQ(Errors.Lines,
            (TLines{"Check- b (S,T,M)", "Check- d (S,T,M)", "Exception boom (S,T,M)"}));
  EXPECT_EQ(Returned, (std::vector<bool>{true, false, true, false}));
  EXPECT_EQ(Test.Methods()[0]->TestResult(), tcrFailure);
  EXPECT_EQ(Scenario.GetSummary().MethodFailure(), 1);
}

TEST_F(FrameworkConsumedMessages, WhatOneHandlerWantsEveryHandlerReceives) {
  Prepare([](TScriptedTest& aTest) {
    aTest.Check(true, "a");
    aTest.Check(false, "b");
  });
  Scenario.AddStateNotificationHandler(Consuming(Errors, ErrorsOnly));
  Scenario.AddStateNotificationHandler(Everything.Event());
  Scenario.Run();
  EXPECT_EQ(Errors.Lines, Everything.Lines);
  EXPECT_EQ(Errors.CountOf("Check+ a"), 1);
  EXPECT_EQ(Errors.CountOf("Check- b (S,T,M)"), 1);
  EXPECT_EQ(Errors.Lines.front(), "ScenarioStart(S,,)");
}

TEST_F(FrameworkConsumedMessages, HandlersChangedInsideAMethodCountFromTheNextCheck) {
  const TMessageEvent All = Everything.Event();
  Prepare([&](TScriptedTest& aTest) {
    aTest.Check(true, "before");
    Scenario.AddStateNotificationHandler(All);
    aTest.Check(true, "while");
    Scenario.RemoveStateNotificationHandler(All);
    aTest.Check(true, "after");
    aTest.Check(false, "failed");
  });
  Scenario.Run();
  EXPECT_EQ(Everything.Lines, (TLines{"Check+ while"}));
  EXPECT_EQ(Test.Methods()[0]->TestResult(), tcrFailure);
}

TEST_F(FrameworkConsumedMessages, ChecksFollowTheUnitTestIntoAnotherScenario) {
  TTestScenario Other("O");
  Other.AddStateNotificationHandler(Everything.Event());
  std::string Caught;
  Prepare([&](TScriptedTest& aTest) {
    aTest.Check(true, "unseen");
    Scenario.RemoveUnitTest(&Test);
    Other.AddUnitTest(&Test);
    aTest.Check(true, "moved");
    Other.RemoveUnitTest(&Test);
    // Without a scenario even an unobserved passing check raises.
    try {
      aTest.Check(true, "lost");
    } catch (const Exception& Error) {
      Caught = Error.what();
    }
  });
  Scenario.Run();
  EXPECT_EQ(Everything.CountOf("Check+ moved"), 1);
  EXPECT_EQ(Everything.CountOf("Check+ unseen"), 0);
  EXPECT_EQ(Caught, "TestScenario not assigned");
  EXPECT_EQ(Test.Methods()[0]->TestResult(), tcrException);
}

TEST_F(FrameworkConsumedMessages, ChecksAfterTheRunGoTheSlowWayAgain) {
  Prepare([](TScriptedTest& aTest) { aTest.Check(true, "inside"); });
  Scenario.Run();
  EXPECT_EQ(Test.CurrentMethodIndex(), -1);
  // The method index is gone: the list's index error, not a silent pass.
  EXPECT_THROW(Test.Check(true, "outside"), Exception);
  // A unit test whose run raised leaves no method index behind either.
  Scenario.AddStateNotificationHandler(Everything.Event());
  Everything.OnMessage = [](const TCustomMessage& aMessage) {
    if (aMessage.GetId() == MessageIdProgress &&
        static_cast<const TProgressMessage&>(aMessage).ProgressType() == ptUnitTestFinish)
      throw std::logic_error("not a framework error");
  };
  EXPECT_THROW(Scenario.Run(), std::logic_error);
  EXPECT_EQ(Test.CurrentMethodIndex(), -1);
  EXPECT_THROW(Test.Check(true, "outside"), Exception);
}

TEST_F(FrameworkConsumedMessages, ANestedRunLeavesTheOuterMethodsChecksObserved) {
  TScriptedTest Inner(&Module);
  Inner.SetName("I");
  Inner.Scripts = {{"N", [](TScriptedTest& aTest) { aTest.Check(true, "inner"); }}};
  Inner.Register();
  Prepare([&](TScriptedTest& aTest) {
    Inner.Run();
    Scenario.AddStateNotificationHandler(Everything.Event());
    aTest.Check(true, "outer");
  });
  Scenario.AddUnitTest(&Inner);
  Inner.SetEnabled(false);
  Scenario.Run();
  EXPECT_EQ(Everything.CountOf("Check+ outer"), 1);
  EXPECT_EQ(Everything.CountOf("Check+ inner"), 0);
  // The inner unit test did run, inside the outer method.
  EXPECT_EQ(Inner.Methods()[0]->TestResult(), tcrSuccess);
}
