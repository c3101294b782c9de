// The dispatcher: each message reaches the one listener call of its kind,
// and a listener registers with the ids it consumes.
#include "FrameworkTestSupport.h"
#include "RunListener.h"

#include <gtest/gtest.h>

#include <memory>

using namespace Kalvoro;

namespace {

const char* PhaseName(TRunPhase aPhase) {
  return aPhase == TRunPhase::Init ? "Init" : aPhase == TRunPhase::Method ? "Method" : "Exit";
}

// Logs each call with what it was handed.
class TCallLog : public IRunListener {
public:
  std::vector<std::string> Calls;

  void ScenarioStart(const TProgressMessage& aMessage) override { Log("ScenarioStart", aMessage); }
  void ScenarioFinish(const TProgressMessage& aMessage) override {
    Log("ScenarioFinish", aMessage);
  }
  void UnitTestStart(const TProgressMessage& aMessage) override { Log("UnitTestStart", aMessage); }
  void UnitTestFinish(const TProgressMessage& aMessage) override {
    Log("UnitTestFinish", aMessage);
  }
  void PhaseStart(TRunPhase aPhase, const TProgressMessage& aMessage) override {
    Log(std::string("PhaseStart ") + PhaseName(aPhase), aMessage);
  }
  void PhaseFinish(TRunPhase aPhase, const TProgressMessage& aMessage) override {
    Log(std::string("PhaseFinish ") + PhaseName(aPhase), aMessage);
  }
  void Report(const TReportMessage& aMessage) override { Log("Report", aMessage); }
  void Check(const TCheckMessage& aMessage) override {
    Log(aMessage.Success() ? "Check+" : "Check-", aMessage);
  }
  void Exception(const TExceptionMessage& aMessage) override { Log("Exception", aMessage); }
  void OtherMessage(const TCustomMessage& aMessage) override {
    Calls.push_back("Other " + std::to_string(aMessage.GetId()));
  }

private:
  void Log(const std::string& aCall, const TMessageBase& aMessage) {
    Calls.push_back(aCall + " " + aMessage.MethodName() + aMessage.Message());
  }
};

// A second listener class: its handler must be told apart from TCallLog's.
class TCounter : public IRunListener {
public:
  int Reports = 0;
  void Report(const TReportMessage&) override { ++Reports; }
};

class TForeignMessage : public TCustomMessage {
public:
  std::int32_t GetId() const override { return 7; }
};

} // namespace

TEST(FrameworkRunListener, EachMessageReachesTheCallOfItsKind) {
  std::vector<std::unique_ptr<TCustomMessage>> Messages;
  const std::vector<std::string> Expected = {"ScenarioStart M0",
                                             "ScenarioFinish M1",
                                             "UnitTestStart M2",
                                             "UnitTestFinish M3",
                                             "PhaseStart Init M4",
                                             "PhaseFinish Init M5",
                                             "PhaseStart Method M6",
                                             "PhaseFinish Method M7",
                                             "PhaseStart Exit M8",
                                             "PhaseFinish Exit M9",
                                             "Report report",
                                             "Check+ held",
                                             "Check- Mbroke",
                                             "Exception Mboom",
                                             "Other 7",
                                             "Other 103"};
  for (int Type = ptScenarioStart; Type <= ptExitFinish; ++Type)
    Messages.push_back(std::make_unique<TProgressMessage>(static_cast<TProgressType>(Type), "S",
                                                          "T", "M" + std::to_string(Type)));
  Messages.push_back(std::make_unique<TReportMessage>("report"));
  Messages.push_back(std::make_unique<TCheckMessage>("held"));
  Messages.push_back(std::make_unique<TCheckMessage>("broke", "S", "T", "M"));
  Messages.push_back(std::make_unique<TExceptionMessage>("S", "T", "M", "boom"));
  Messages.push_back(std::make_unique<TForeignMessage>());
  // A progress type that this code does not know (a newer module's).
  Messages.push_back(
      std::make_unique<TProgressMessage>(static_cast<TProgressType>(42), "S", "T", "M"));
  TCallLog Log;
  for (const auto& Message : Messages)
    DispatchRunMessage(*Message, Log);
  EXPECT_EQ(Log.Calls, Expected);
}

TEST(FrameworkRunListener, ListenersRegisterWithTheirIdsAndAreRemovedOneByOne) {
  TMessageEventList List;
  TCallLog Log;
  TCounter Counter;
  List.AddEventHandler(RunListenerEvent(&Log, MessageIdBit(MessageIdProgress)));
  List.AddEventHandler(RunListenerEvent(&Counter, FailedChecksBit));
  EXPECT_TRUE(List.Consumes(MessageIdProgress));
  EXPECT_FALSE(List.Consumes(MessageIdReport));
  EXPECT_FALSE(List.Consumes(MessageIdCheck));
  EXPECT_TRUE(List.ConsumesFailedChecks());

  // Delivery ignores the ids: both are handed every message.
  List.Deliver(TReportMessage("one"));
  EXPECT_EQ(Log.Calls, std::vector<std::string>{"Report one"});
  EXPECT_EQ(Counter.Reports, 1);

  // Removing one listener leaves the other, and its ids.
  List.RemoveEventHandler(RunListenerEvent(&Counter));
  List.Deliver(TReportMessage("two"));
  EXPECT_EQ(Log.Calls, (std::vector<std::string>{"Report one", "Report two"}));
  EXPECT_EQ(Counter.Reports, 1);
  EXPECT_TRUE(List.Consumes(MessageIdProgress));
  EXPECT_FALSE(List.ConsumesFailedChecks());
}
