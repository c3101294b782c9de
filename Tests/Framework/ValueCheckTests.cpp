// Value checks: what a failed CheckEqual, CheckNear and CheckThrows append,
// that a passing one logs its text alone, and how values print.
#include "FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string_view>

using namespace Kalvoro;
using KalvoroTest::TRecorder;
using KalvoroTest::TScriptedTest;

namespace {

struct TOpaque {
  bool operator==(const TOpaque&) const { return false; }
};

struct TPoint {
  int X, Y;
  bool operator==(const TPoint&) const = default;
};
std::ostream& operator<<(std::ostream& aStream, const TPoint& aPoint) {
  return aStream << "(" << aPoint.X << "|" << aPoint.Y << ")";
}

} // namespace

TEST(FrameworkValueText, ValuesPrintAsStated) {
  using Detail::ValueText;
  EXPECT_EQ(ValueText(1.5), "1.5");
  EXPECT_EQ(ValueText(1.75), "1.75");
  EXPECT_EQ(ValueText(0.1), "0.1");
  EXPECT_EQ(ValueText(0.1f), "0.1");
  EXPECT_EQ(ValueText(42), "42");
  EXPECT_EQ(ValueText(std::string("text")), "\"text\"");
  EXPECT_EQ(ValueText(std::string_view("view")), "\"view\"");
  EXPECT_EQ(ValueText("literal"), "\"literal\"");
  const char* Null = nullptr;
  EXPECT_EQ(ValueText(Null), "nullptr");
  EXPECT_EQ(ValueText(TPoint{1, 2}), "(1|2)");
  EXPECT_EQ(ValueText(TOpaque{}), "<unprintable>");
}

TEST(FrameworkValueCheck, FailedChecksSayWhatTheySaw) {
  TModule Module("/modules/Probe.so");
  TTestScenario Scenario("S");
  TRecorder Recorder;
  Scenario.AddStateNotificationHandler(Recorder.Event());
  TScriptedTest Test(&Module);
  Test.SetName("T");
  std::vector<bool> Returned;
  Test.Scripts = {
      {"TestM", [&](TScriptedTest& aTest) {
         Returned.push_back(aTest.CheckEqual(2, 1 + 1, "ints"));
         Returned.push_back(aTest.CheckEqual(1.5, 1.75, "doubles"));
         Returned.push_back(
             aTest.CheckEqual(std::string("a"), std::string("b"), std::string("strings")));
         Returned.push_back(aTest.CheckEqual(TOpaque{}, TOpaque{}, "opaque"));
         Returned.push_back(aTest.CheckNear(0.3, 0.1 + 0.2, 1e-9, "near"));
         Returned.push_back(aTest.CheckNear(1.0, 1.5, 0.1, "far"));
         Returned.push_back(aTest.CheckThrows<std::out_of_range>(
             [] { throw std::out_of_range("range"); }, "throws"));
         Returned.push_back(aTest.CheckThrows<std::out_of_range>([] {}, "silent"));
         Returned.push_back(aTest.CheckThrows<std::out_of_range>(
             [] { throw std::runtime_error("boom"); }, "other"));
         Returned.push_back(aTest.CheckThrows<std::out_of_range>([] { throw 42; }, "unknown"));
       }}};
  Test.Register();
  Scenario.AddUnitTest(&Test);
  Scenario.Run();
  EXPECT_EQ(Returned,
            (std::vector<bool>{true, false, false, false, true, false, true, false, false, false}));
  const std::string Where = " (S,T,TestM)";
  for (const std::string& Line :
       {std::string("Check+ ints"), "Check- doubles (expected: 1.5, actual: 1.75)" + Where,
        "Check- strings (expected: \"a\", actual: \"b\")" + Where,
        "Check- opaque (expected: <unprintable>, actual: <unprintable>)" + Where,
        std::string("Check+ near"), "Check- far (expected: 1, actual: 1.5, tolerance: 0.1)" + Where,
        std::string("Check+ throws"), "Check- silent (no exception thrown)" + Where,
        "Check- other (other exception: boom)" + Where,
        "Check- unknown (other exception: unknown)" + Where})
    EXPECT_EQ(Recorder.CountOf(Line), 1) << Line;
  EXPECT_EQ(Test.Methods()[0]->TestResult(), tcrFailure);
  Scenario.RemoveAllUnitTests();
}
