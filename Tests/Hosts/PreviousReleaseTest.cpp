// A module built against the previous release's installed headers and module
// part (Tests/Compat), run by today's program with today's libkalvoro.so, in
// hosts and in process: its unit tests, checks, reports and exception reach
// every report as the module meant them.
#include "HostsTestSupport.h"

#include <gtest/gtest.h>

using namespace HostsTest;

TEST(PreviousRelease, AModuleBuiltWithThePreviousHeadersRunsAndReports) {
  const struct {
    const char* Way;
    std::vector<std::string> Extra;
  } Ways[] = {{"hosts", {}}, {"in-process", {"--in-process"}}};
  const std::vector<std::string> Results{
      "SUCCESS TCountTest.TestPasses", "FAILURE TCountTest.TestFails",
      "EXCEPTION TCountTest.TestThrows", "SUCCESS TTextTest.TestNear",
      "FAILURE TLateTest.TestLate"};
  TScratch Scratch;
  for (const auto& Way : Ways) {
    SCOPED_TRACE(Way.Way);
    const TRun Run = RunRunner(KALVORO_PREVIOUS_RELEASE_MODULE, Way.Extra, Scratch.Path(), Way.Way);
    EXPECT_EQ(Run.Code, 1) << Run.Err;
    EXPECT_EQ(SummaryResults(Run.Summary), Results);
    for (const char* Line : {"SUCCESS three values", "SUCCESS a fourth value throws",
                             "REPORT counted 3 values", "SUCCESS the first value is 1",
                             "FAILURE the first two add up to 7 (expected: 7, actual: 3)",
                             "EXCEPTION TCountTest.TestThrows (thrown by an old module)",
                             "SUCCESS two halves make one", "FAILURE registered late, fails"})
      EXPECT_EQ(Occurrences(Run.Log, Line), 1u) << Line << "\n" << Run.Log;
    for (const char* Line :
         {"FAILURE (TCountTest.TestFails) the first two add up to 7 (expected: 7, actual: 3)",
          "EXCEPTION (TCountTest.TestThrows) thrown by an old module",
          "FAILURE (TLateTest.TestLate) registered late, fails"}) {
      EXPECT_EQ(Occurrences(Run.Errors, Line), 1u) << Line << "\n" << Run.Errors;
      EXPECT_EQ(Occurrences(Run.Out, Line), 1u) << Line << "\n" << Run.Out;
    }
    EXPECT_EQ(Occurrences(Run.JUnit, R"(tests="5" failures="2" errors="1" skipped="0")"), 1u)
        << Run.JUnit;
    EXPECT_EQ(Occurrences(Run.JUnit, "<system-out>counted 3 values"), 1u) << Run.JUnit;
  }
}
