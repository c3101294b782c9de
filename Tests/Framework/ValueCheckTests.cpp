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
  // Printed out of line as a stream prints them.
  enum TColour { Red, Green };
  enum class TScoped { A };
  EXPECT_EQ(ValueText(true), "1");
  EXPECT_EQ(ValueText('x'), "x");
  EXPECT_EQ(ValueText(-7LL), "-7");
  EXPECT_EQ(ValueText(18446744073709551615ULL), "18446744073709551615");
  EXPECT_EQ(ValueText(Green), "1");
  EXPECT_EQ(ValueText(TScoped::A), "<unprintable>");
  EXPECT_EQ(ValueText(nullptr), "nullptr");
  int Target = 0;
  EXPECT_EQ(ValueText(&Target).rfind("0x", 0), 0u);
}

// Every check's message names the file and line of its call, passing or not.
TEST(FrameworkValueCheck, ChecksRecordWhereTheyWereCalled) {
  struct TPlaces {
    std::vector<std::pair<std::string, unsigned>> Seen;
    std::vector<std::string> Locations;
    void Handle(TMessageEventList*, const TCustomMessage& aMessage) {
      if (aMessage.GetId() != MessageIdCheck)
        return;
      const auto& Check = static_cast<const TCheckMessage&>(aMessage);
      Seen.emplace_back(Check.FileName(), Check.Line());
      Locations.push_back(Check.Location());
    }
  } Places;
  TModule Module("/modules/Probe.so");
  TTestScenario Scenario("S");
  Scenario.AddStateNotificationHandler(MakeMessageEvent<&TPlaces::Handle>(&Places));
  TScriptedTest Test(&Module);
  Test.SetName("T");
  std::vector<unsigned> Lines;
  Test.Scripts = {{"TestM", [&](TScriptedTest& aTest) {
                     Lines.push_back(__LINE__), aTest.Check(false, "plain");
                     Lines.push_back(__LINE__), aTest.Check(true, std::string("passes"));
                     Lines.push_back(__LINE__), aTest.CheckEqual(1, 2, "equal");
                     Lines.push_back(__LINE__), aTest.CheckNear(1.0, 2.0, 0.5, "near");
                     Lines.push_back(__LINE__), aTest.CheckThrows<int>([] {}, "throws");
                   }}};
  Test.Register();
  Scenario.AddUnitTest(&Test);
  Scenario.Run();
  ASSERT_EQ(Places.Seen.size(), Lines.size());
  for (std::size_t I = 0; I < Lines.size(); ++I) {
    EXPECT_EQ(Places.Seen[I], std::make_pair(std::string(__FILE__), Lines[I]));
    EXPECT_EQ(Places.Locations[I], std::string(__FILE__) + ":" + std::to_string(Lines[I]));
  }
  EXPECT_EQ(TCheckMessage("no place").Location(), "");
  Scenario.RemoveAllUnitTests();
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
