// The JUnit report of a run cut short: by a handler that raised, or by a
// runner of methods elsewhere that stopped inside a method.
#include "JUnitReport.h"

#include "IOutput.h"
#include "JUnitTestSupport.h"
#include "ReportingTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace ReportingTest {
namespace {

// A method whose error a handler answers by raising stops the whole run.
class TStopTest : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestFirst);
    REGISTER_METHOD(TestStop);
    REGISTER_METHOD(TestAfter);
  }
  void TestFirst() { Check(false, "first failed"); }
  void TestStop() { throw Exception("stop"); }
  void TestAfter() {}
};

TEST(JUnitReport, RunThatRaisedIsClosedOnDetach) {
  TModule Module("stop.so");
  TTestScenario Scenario("Stopped");
  TStopTest Stop(&Module);
  Stop.SetName("TStopTest");
  Stop.Register();
  Scenario.AddUnitTest(&Stop);

  TJUnitReport Report(TickingClock());
  Report.Attach(&Scenario);
  struct TStopper {
    void Handle(TMessageEventList*, const TCustomMessage& aMessage) {
      if (aMessage.GetId() == MessageIdException)
        throw 42;
    }
  } Stopper;
  const TMessageEvent StopEvent = MakeMessageEvent<&TStopper::Handle>(&Stopper);
  Scenario.AddStateNotificationHandler(StopEvent);
  EXPECT_THROW(Scenario.Run(), int);
  Scenario.RemoveStateNotificationHandler(StopEvent);
  Report.Detach();
  Scenario.RemoveAllUnitTests();

  EXPECT_EQ(Report.Tests(), 3);
  EXPECT_EQ(Report.Failures(), 1);
  EXPECT_EQ(Report.Skipped(), 1);
  const std::string Xml = Report.GetXml();
  EXPECT_EQ(WellFormednessError(Xml), "") << Xml;
  EXPECT_NE(Xml.find("<testcase name=\"TestAfter\" classname=\"TStopTest\" time=\"0.000000\">\n"
                     "      <skipped/>"),
            std::string::npos)
      << Xml;
}

// A runner of methods elsewhere (as the run hosts are) that replays each
// method's messages and stops the run in the middle of method StopAt, after
// a failed check when FailFirst.
class TStoppingRunner : public TMethodRunner {
public:
  TStoppingRunner(TTestScenario& aScenario, int aStopAt, bool aFailFirst)
      : FScenario(aScenario), FStopAt(aStopAt), FFailFirst(aFailFirst) {}
  void RunMethod(TUnitTestBase& aUnitTest, int aIndex) override {
    TUnitTestMethod* Method = aUnitTest.Methods().GetItem(aIndex);
    Method->SetTestResult(tcrSuccess);
    Progress(ptInitStart, aUnitTest, "Init");
    Progress(ptInitFinish, aUnitTest, "Init");
    Progress(ptMethodStart, aUnitTest, Method->Name());
    if (aIndex == FStopAt) {
      if (FFailFirst) {
        Method->SetTestResult(tcrFailure);
        auto Check = std::make_unique<TCheckMessage>("failed before the stop", FScenario.Name(),
                                                     aUnitTest.Name(), Method->Name());
        Check->SetSuccess(false);
        FScenario.FireStateNotification(std::move(Check));
      }
      throw 42;
    }
    Progress(ptMethodFinish, aUnitTest, Method->Name());
    Progress(ptExitStart, aUnitTest, "Exit");
    Progress(ptExitFinish, aUnitTest, "Exit");
  }

private:
  void Progress(TProgressType aType, const TUnitTestBase& aUnitTest, const std::string& aPhase) {
    TProgressMessage Message(aType, FScenario.Name(), aUnitTest.Name(), aPhase);
    FScenario.StateNotifications().Deliver(Message);
  }
  TTestScenario& FScenario;
  int FStopAt;
  bool FFailFirst;
};

TEST(JUnitReport, AMethodThatTheRunStoppedInIsAnErrorNeverAPass) {
  const struct {
    bool FailFirst;
    int Failures;
    int Errors;
  } Cases[] = {{false, 0, 1}, {true, 1, 0}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.FailFirst);
    TModule Module("stop.so");
    TTestScenario Scenario("Stopped");
    TStopTest Stop(&Module);
    Stop.SetName("TStopTest");
    Stop.Register();
    Scenario.AddUnitTest(&Stop);
    TStoppingRunner Runner(Scenario, 1, Case.FailFirst);
    Scenario.SetMethodRunner(&Runner);

    TJUnitReport Report(TickingClock());
    Report.Attach(&Scenario);
    EXPECT_THROW(Scenario.Run(), int);
    Report.Detach();
    Scenario.SetMethodRunner(nullptr);
    Scenario.RemoveAllUnitTests();

    EXPECT_EQ(Report.Failures(), Case.Failures);
    EXPECT_EQ(Report.Errors(), Case.Errors);
    EXPECT_EQ(Report.Skipped(), 1);
    const std::string Xml = Report.GetXml();
    EXPECT_EQ(WellFormednessError(Xml), "") << Xml;
    const std::size_t Stopped = Xml.find(R"(<testcase name="TestStop" classname="TStopTest")");
    ASSERT_NE(Stopped, std::string::npos) << Xml;
    EXPECT_LT(Xml.find("The run stopped before the method finished</error>", Stopped),
              Xml.find("</testcase>", Stopped))
        << Xml;
    EXPECT_NE(Xml.find(R"(<testcase name="TestFirst" classname="TStopTest" time="0.000123"/>)"),
              std::string::npos)
        << Xml;
  }
}

} // namespace
} // namespace ReportingTest
