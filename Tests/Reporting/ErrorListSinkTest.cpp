// A sink that asks only for the error list's messages: the run builds no
// passing checks and no progress for it, and its error list stays the same.
#include "IOutput.h"

#include "ReportingTestSupport.h"

#include <gtest/gtest.h>

namespace ReportingTest {
namespace {

// Collects log and error lines; aConsumes is what it asks the scenario for.
class TCollectingOutput : public TOutput {
public:
  TCollectingOutput(TTestScenario* aScenario, std::uint32_t aConsumes)
      : TOutput(aScenario, Slashes, SequenceClock({Begin, End}), aConsumes) {}
  std::vector<std::string> Log;
  std::vector<std::string> Errors;

protected:
  void WriteLog(const std::string& aText) override { Log.push_back(aText); }
  void WriteError(const std::string& aText) override { Errors.push_back(aText); }
  void WriteSummary(const std::string&) override {}
};

TEST(ErrorListSink, GetsEveryErrorLineAndNothingElseIsBuiltForIt) {
  TSampleScenario Sample;
  TCollectingOutput Output(&Sample.Scenario, ErrorListMessages);
  EXPECT_TRUE(Sample.Scenario.StateNotifications().ConsumesFailedChecks());
  EXPECT_FALSE(Sample.Scenario.StateNotifications().Consumes(MessageIdCheck));
  EXPECT_FALSE(Sample.Scenario.StateNotifications().Consumes(MessageIdProgress));
  Sample.Scenario.Run();
  EXPECT_EQ(Output.Errors, WorkedExampleErrors);
  // Only the failed check and the exceptions reached it, each with its log line.
  EXPECT_EQ(Output.Log, (std::vector<std::string>{
                            "FAILURE third is 0.33",
                            "EXCEPTION TMathTest.TestDivide (Index out of range)",
                            "EXCEPTION TMathTest.TestModulo (Modulo by zero)",
                        }));
}

TEST(ErrorListSink, NextToAFullSinkBothWriteTheFullLog) {
  TSampleScenario Sample;
  TCollectingOutput Errors(&Sample.Scenario, ErrorListMessages);
  TCollectingOutput Full(&Sample.Scenario, AllMessageIds);
  Sample.Scenario.Run();
  EXPECT_EQ(Errors.Errors, WorkedExampleErrors);
  EXPECT_EQ(Full.Errors, WorkedExampleErrors);
  EXPECT_EQ(Errors.Log, Full.Log);
  EXPECT_EQ(Full.Log, WorkedExampleLog());
}

TEST(ErrorListSink, FreedSinkTakesItsWantsAlong) {
  TSampleScenario Sample;
  {
    TCollectingOutput Full(&Sample.Scenario, AllMessageIds);
    EXPECT_TRUE(Sample.Scenario.StateNotifications().Consumes(MessageIdCheck));
  }
  EXPECT_FALSE(Sample.Scenario.StateNotifications().Consumes(MessageIdCheck));
  EXPECT_FALSE(Sample.Scenario.StateNotifications().ConsumesFailedChecks());
}

} // namespace
} // namespace ReportingTest
