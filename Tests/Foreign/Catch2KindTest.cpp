// A Catch2 program as a module of the console runner: every test's outcome
// is the one the framework gives it when it runs that test alone, what it
// printed and why it failed are its report lines and checks, and the run
// goes on past each fault (a crash, an abort, an exit, a hang past the time
// limit).
#include "ForeignRun.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

using namespace KalvoroTest;

const std::string Program = std::string(KALVORO_TEST_MODULES_DIR) + "/Catch2Program";

TEST(Catch2Kind, EveryOutcomeIsTheFrameworksAndTheRunGoesOnPastFaults) {
  TScratchDir Dir;
  const TForeignRun Run =
      RunForeign(Dir, "run " + Program + " --timeout 2", "KALVORO_CATCH2_HANG=1");
  EXPECT_EQ(Run.Code, 1) << Run.Out;
  struct TCase {
    const char* Test;
    const char* Result;
    const char* Shown; // in the log, where the method's lines are
  };
  const TCase Cases[] = {
      {"Passes", "SUCCESS", "REPORT printed by the test"},
      {"Fails with values", "FAILURE", "CHECK( Three == 4 ) with expansion: 3 == 4"},
      {"Throws std", "EXCEPTION", "boom std"},
      {"Throws other", "EXCEPTION", "Unknown exception"},
      {"Is hidden", "SKIPPED", "Hidden: a hidden test runs only by name"},
      {"Should fail and does", "SUCCESS", "REPORT Expected failure: CHECK( false )"},
      {"May fail and does", "SUCCESS", "REPORT Expected failure: CHECK( 1 == 2 )"},
      {"Has sections", "FAILURE", "[first > inner] CHECK( 2 == 3 )"},
      {"Comma, and [bracket] and * star ~ tilde \\ \"quoted\"", "SUCCESS", nullptr},
      {"  leading spaces", "SUCCESS", nullptr},
      {"#starts with a hash", "SUCCESS", nullptr},
      {"Prints a fake report", "FAILURE", "REPORT <TestCase name=\"Forged\">"},
      {"Crashes", "EXCEPTION", "Test process ended by SIGSEGV"},
      {"Aborts", "EXCEPTION", "Test process ended by SIGABRT"},
      {"Exits", "EXCEPTION", "Test process ended by SIGSEGV"},
      {"Hangs", "EXCEPTION", "Time limit of 2 s exceeded"},
      {"After the faults", "SUCCESS", nullptr},
  };
  const std::map<std::string, std::string> Got = ForeignResults(Run.Out);
  EXPECT_EQ(Got.size(), std::size(Cases)) << Run.Out;
  for (const TCase& Case : Cases) {
    const auto Found = Got.find(std::string("Catch2Program.cpp.") + Case.Test);
    ASSERT_NE(Found, Got.end()) << Case.Test << " in\n" << Run.Out;
    EXPECT_EQ(Found->second, Case.Result) << Case.Test;
    if (Case.Shown != nullptr) {
      EXPECT_NE(Run.Log.find(Case.Shown), std::string::npos) << Case.Shown << " in\n" << Run.Log;
    }
  }
  // A failed check keeps its place in the test's source.
  EXPECT_TRUE(std::regex_search(
      Run.Out,
      std::regex(
          R"(Catch2Program\.cpp:[0-9]+: FAILURE \(Catch2Program\.cpp\.Fails with values\))")))
      << Run.Out;

  // A filter selects through the names, hostile ones too; the others end
  // skipped.
  const TForeignRun Filtered = RunForeign(Dir, "run " + Program + " --filter '*star*:*After*'");
  EXPECT_EQ(Filtered.Code, 0) << Filtered.Out;
  std::size_t Ran = 0;
  for (const auto& [Name, Result] : ForeignResults(Filtered.Out))
    Ran += Result == "SKIPPED" ? 0 : 1;
  EXPECT_EQ(Ran, 3u) << Filtered.Out;
}

// A Catch2 3 program lists in its XML list report and names its report's
// root otherwise (a stand-in here: Debian 12 ships the second version only);
// its tests' outcomes read as the second version's do, a class is a unit
// test, and a hidden test runs by name.
TEST(Catch2Kind, TheThirdVersionIsListedAndRunByItsOwnOptions) {
  TScratchDir Dir;
  const std::string Version3 = std::string(KALVORO_TEST_MODULES_DIR) + "/Catch2V3Program";
  const TForeignRun List = RunForeign(Dir, "list " + Version3);
  EXPECT_EQ(List.Code, 0) << List.Out;
  EXPECT_NE(List.Out.find("  c3.cpp\n    Passes\n"), std::string::npos) << List.Out;
  EXPECT_NE(List.Out.find("  Fixture\n    Uses its fixture\n"), std::string::npos) << List.Out;
  const TForeignRun Run = RunForeign(Dir, "run " + Version3);
  EXPECT_EQ(Run.Code, 1) << Run.Out;
  const std::map<std::string, std::string> Expected = {{"c3.cpp.Passes", "SUCCESS"},
                                                       {"c3.cpp.Fails with values", "FAILURE"},
                                                       {"c3.cpp.Skips", "SKIPPED"},
                                                       {"c3.cpp.Is hidden", "SKIPPED"},
                                                       {"c3.cpp.  leading & spaces", "SUCCESS"},
                                                       {"Fixture.Uses its fixture", "SUCCESS"},
                                                       {"c3.cpp.Crashes", "EXCEPTION"},
                                                       {"c3.cpp.After the crash", "SUCCESS"}};
  EXPECT_EQ(ForeignResults(Run.Out), Expected) << Run.Out;
  for (const char* Shown :
       {"REPORT printed by Passes", "CHECK( Three == 4 ) with expansion: 3 == 4",
        "REPORT not today", "Test process ended by SIGSEGV"})
    EXPECT_NE(Run.Log.find(Shown), std::string::npos) << Shown << " in\n" << Run.Log;
  const TForeignRun Named = RunForeign(Dir, "run " + Version3 + " --filter 'c3.cpp.Is hidden'");
  EXPECT_EQ(ForeignResults(Named.Out).at("c3.cpp.Is hidden"), "SUCCESS") << Named.Out;
}

} // namespace
