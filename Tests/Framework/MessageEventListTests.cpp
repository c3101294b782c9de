// The observer list and the four run messages.
#include "FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>

using namespace Kalvoro;
using KalvoroTest::TRecorder;

namespace {

// A report message that counts its destructions.
class TCountedMessage : public TReportMessage {
public:
  explicit TCountedMessage(int& aDestroyed) : TReportMessage("counted"), FDestroyed(aDestroyed) {}
  ~TCountedMessage() override { ++FDestroyed; }

private:
  int& FDestroyed;
};

// A handler that logs its own name, so that order and repeats are visible.
class TNamedHandler {
public:
  TNamedHandler(std::string aName, std::vector<std::string>& aLog)
      : FName(std::move(aName)), FLog(aLog) {}
  TMessageEvent Event() { return MakeMessageEvent<&TNamedHandler::Handle>(this); }
  TMessageEvent OtherEvent() { return MakeMessageEvent<&TNamedHandler::HandleOther>(this); }
  void Handle(TMessageEventList* aSender, const TCustomMessage&) {
    FLog.push_back(FName);
    if (OnHandle)
      OnHandle(*aSender);
  }
  void HandleOther(TMessageEventList*, const TCustomMessage&) { FLog.push_back(FName + "'"); }

  std::function<void(TMessageEventList&)> OnHandle;

private:
  std::string FName;
  std::vector<std::string>& FLog;
};

std::unique_ptr<TCustomMessage> AnyMessage() {
  return std::make_unique<TReportMessage>("x");
}

} // namespace

TEST(FrameworkEventList, FiringWithoutHandlersOnlyDestroysTheMessage) {
  TMessageEventList List;
  int Destroyed = 0;
  List.FireAllEventHandlers(std::make_unique<TCountedMessage>(Destroyed));
  EXPECT_EQ(Destroyed, 1);
  EXPECT_EQ(List.Count(), 0);
}

TEST(FrameworkEventList, DeliversInRegistrationOrderWithSenderAndMessage) {
  TMessageEventList List;
  std::vector<std::string> Log;
  TNamedHandler First("first", Log), Second("second", Log);
  TMessageEventList* SeenSender = nullptr;
  First.OnHandle = [&](TMessageEventList& aSender) { SeenSender = &aSender; };
  TRecorder Recorder;
  List.AddEventHandler(Second.Event());
  List.AddEventHandler(Recorder.Event());
  List.AddEventHandler(First.OtherEvent());
  List.AddEventHandler(First.Event());
  List.FireAllEventHandlers(std::make_unique<TReportMessage>("hello"));
  EXPECT_EQ(Log, (std::vector<std::string>{"second", "first'", "first"}));
  EXPECT_EQ(Recorder.Lines, std::vector<std::string>{"Report hello"});
  EXPECT_EQ(SeenSender, &List);
}

TEST(FrameworkEventList, HandlersChangingTheListDuringDeliveryAffectOnlyLaterMessages) {
  TMessageEventList List;
  std::vector<std::string> Log;
  TNamedHandler Leaver("leaver", Log), Adder("adder", Log), Late("late", Log), Last("last", Log);
  Leaver.OnHandle = [&](TMessageEventList& aSender) { aSender.RemoveEventHandler(Leaver.Event()); };
  bool Added = false;
  Adder.OnHandle = [&](TMessageEventList& aSender) {
    if (!Added)
      aSender.AddEventHandler(Late.Event());
    Added = true;
  };
  List.AddEventHandler(Leaver.Event());
  List.AddEventHandler(Adder.Event());
  List.AddEventHandler(Last.Event());

  List.FireAllEventHandlers(AnyMessage());
  EXPECT_EQ(Log, (std::vector<std::string>{"leaver", "adder", "last"}));
  Log.clear();
  List.FireAllEventHandlers(AnyMessage());
  EXPECT_EQ(Log, (std::vector<std::string>{"adder", "last", "late"}));
}

TEST(FrameworkEventList, RemovingOneHandlerDuringDeliveryStillDeliversToTheRemovedOne) {
  // The removal happens in the first handler; the second one, already in the
  // snapshot, is called for the current message and not for the next.
  TMessageEventList List;
  std::vector<std::string> Log;
  TNamedHandler Remover("remover", Log), Victim("victim", Log);
  Remover.OnHandle = [&](TMessageEventList& aSender) {
    aSender.RemoveEventHandler(Victim.OtherEvent());
  };
  List.AddEventHandler(Remover.Event());
  List.AddEventHandler(Victim.OtherEvent());
  List.FireAllEventHandlers(AnyMessage());
  List.FireAllEventHandlers(AnyMessage());
  EXPECT_EQ(Log, (std::vector<std::string>{"remover", "victim'", "remover"}));
}

TEST(FrameworkEventList, DoubleRegistrationIsCalledTwiceAndRemovedOneAtATime) {
  TMessageEventList List;
  std::vector<std::string> Log;
  TNamedHandler Twice("twice", Log);
  List.AddEventHandler(Twice.Event());
  List.AddEventHandler(Twice.Event());
  List.FireAllEventHandlers(AnyMessage());
  EXPECT_EQ(Log.size(), 2u);
  List.RemoveEventHandler(Twice.Event());
  EXPECT_EQ(List.Count(), 1);
  Log.clear();
  List.FireAllEventHandlers(AnyMessage());
  EXPECT_EQ(Log.size(), 1u);
}

TEST(FrameworkEventList, IdentityIsTheFunctionNotTheObject) {
  TMessageEventList List;
  std::vector<std::string> Log;
  TNamedHandler One("one", Log), Two("two", Log);
  List.AddEventHandler(One.OtherEvent());
  List.AddEventHandler(One.Event());
  List.AddEventHandler(Two.Event());
  EXPECT_EQ(List.FindEventHandler(Two.Event()), 1);
  EXPECT_EQ(List.FindEventHandler(One.OtherEvent()), 0);

  // Removing with the second object's handler takes out the first object's entry.
  List.RemoveEventHandler(Two.Event());
  List.FireAllEventHandlers(AnyMessage());
  EXPECT_EQ(Log, (std::vector<std::string>{"one'", "two"}));
}

TEST(FrameworkEventList, HandlersWithoutMethodChangeNothing) {
  TMessageEventList List;
  TMessageEvent NoMethod;
  NoMethod.Object = &List;
  EXPECT_EQ(List.FindEventHandler(NoMethod), -1);
  List.AddEventHandler(NoMethod);
  EXPECT_EQ(List.Count(), 0);

  TRecorder Recorder;
  List.AddEventHandler(Recorder.Event());
  List.RemoveEventHandler(NoMethod);
  EXPECT_EQ(List.Count(), 1);

  // Removing a handler that is not registered changes nothing either.
  std::vector<std::string> Log;
  TNamedHandler Stranger("stranger", Log);
  EXPECT_EQ(List.FindEventHandler(Stranger.Event()), -1);
  List.RemoveEventHandler(Stranger.Event());
  EXPECT_EQ(List.Count(), 1);
}

TEST(FrameworkEventList, RaisingHandlerStopsDeliveryAndTheMessageIsStillDestroyed) {
  TMessageEventList List;
  TRecorder Raiser, After;
  Raiser.RaiseOn = "Report counted";
  List.AddEventHandler(Raiser.Event());
  List.AddEventHandler(After.Event());
  int Destroyed = 0;
  EXPECT_THROW(List.FireAllEventHandlers(std::make_unique<TCountedMessage>(Destroyed)), Exception);
  EXPECT_EQ(Destroyed, 1);
  EXPECT_TRUE(After.Lines.empty());

  // The list is intact: the next message reaches both handlers.
  List.FireAllEventHandlers(std::make_unique<TCountedMessage>(Destroyed));
  EXPECT_EQ(Destroyed, 2);
  EXPECT_EQ(After.Lines.size(), 1u);
  EXPECT_EQ(Raiser.Lines.size(), 2u);
}

TEST(FrameworkEventList, SnapshotsLongerThanTheInlineBufferDeliverToAll) {
  TMessageEventList List;
  std::vector<TRecorder> Recorders(20);
  for (auto& Recorder : Recorders)
    List.AddEventHandler(Recorder.Event());
  // Each handler adds one more; none of the new ones receives this message.
  Recorders[0].OnMessage = [&](const TCustomMessage&) {
    List.AddEventHandler(Recorders[1].Event());
  };
  List.FireAllEventHandlers(AnyMessage());
  for (const auto& Recorder : Recorders)
    EXPECT_EQ(Recorder.Lines.size(), 1u);
  EXPECT_EQ(List.Count(), 21);
}

TEST(FrameworkEventList, CopyListAppendsCopiesAndKeepsExistingEntries) {
  TMessageEventList Source, Destination;
  std::vector<std::string> Log;
  TNamedHandler A("a", Log), B("b", Log), C("c", Log);
  Source.AddEventHandler(A.Event());
  Source.AddEventHandler(B.OtherEvent());
  Destination.AddEventHandler(C.OtherEvent());
  TMessageEventList::CopyList(&Source, &Destination);
  ASSERT_EQ(Destination.Count(), 3);
  EXPECT_EQ(Source.Count(), 2);
  Destination.FireAllEventHandlers(AnyMessage());
  EXPECT_EQ(Log, (std::vector<std::string>{"c'", "a", "b'"}));
}

TEST(FrameworkEventList, CopyListAssertsOnMissingLists) {
  TMessageEventList List;
  const std::regex Text(
      R"(Assertion failure \(Sources/Framework/MessageEventList\.cpp, line [0-9]+\))");
  for (auto [Source, Destination] :
       {std::pair<TMessageEventList*, TMessageEventList*>{nullptr, &List}, {&List, nullptr}}) {
    try {
      TMessageEventList::CopyList(Source, Destination);
      ADD_FAILURE() << "CopyList accepted a missing list";
    } catch (const EAssertionFailed& Error) {
      EXPECT_TRUE(std::regex_match(Error.what(), Text)) << Error.what();
    }
  }
}

TEST(FrameworkMessages, IdsAndFieldsOfTheFourMessages) {
  const TReportMessage Report("line");
  EXPECT_EQ(Report.GetId(), 100);
  EXPECT_EQ(KalvoroTest::Describe(Report), "Report line");

  const TCheckMessage Passed("held");
  EXPECT_EQ(Passed.GetId(), 101);
  EXPECT_TRUE(Passed.Success());
  EXPECT_EQ(KalvoroTest::Describe(Passed), "Check+ held");

  // Text first for a failed check, text last for an exception.
  const TCheckMessage Failed("broken", "S", "T", "M");
  EXPECT_FALSE(Failed.Success());
  EXPECT_EQ(Failed.Message(), "broken");
  EXPECT_EQ(Failed.ScenarioName(), "S");
  EXPECT_EQ(Failed.UnitTestName(), "T");
  EXPECT_EQ(Failed.MethodName(), "M");

  const TExceptionMessage Error("S", "T", "M", "X");
  EXPECT_EQ(Error.GetId(), 102);
  EXPECT_EQ(Error.Message(), "X");
  EXPECT_EQ(Error.ScenarioName(), "S");
  EXPECT_EQ(Error.UnitTestName(), "T");
  EXPECT_EQ(Error.MethodName(), "M");

  const TProgressMessage Progress(ptExitFinish, "S", "T", "Exit");
  EXPECT_EQ(Progress.GetId(), 103);
  EXPECT_EQ(Progress.ProgressType(), ptExitFinish);
  EXPECT_EQ(static_cast<int>(ptExitFinish), 9);
  EXPECT_TRUE(Progress.Message().empty());
  EXPECT_EQ(KalvoroTest::Describe(Progress), "ExitFinish(S,T,Exit)");
}
