// A doctest program as a module of the console runner: every test's outcome
// is the one the framework gives it when it runs that test alone, what it
// printed and why it failed are its report lines and checks, and the run
// goes on past each fault (a crash, an abort, an exit, a hang past the time
// limit).
#include "ForeignRun.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

using namespace KalvoroTest;

const std::string Program = std::string(KALVORO_TEST_MODULES_DIR) + "/DoctestProgram";

TEST(DoctestKind, EveryOutcomeIsTheFrameworksAndTheRunGoesOnPastFaults) {
  TScratchDir Dir;
  const TForeignRun Run =
      RunForeign(Dir, "run " + Program + " --timeout 2", "KALVORO_DOCTEST_HANG=1");
  EXPECT_EQ(Run.Code, 1) << Run.Out;
  struct TCase {
    const char* Test;
    const char* Result;
    const char* Shown; // in the log, where the method's lines are
  };
  const TCase Cases[] = {
      {"Basic.Passes", "SUCCESS", "REPORT printed by the test"},
      {"Basic.Fails with values", "FAILURE", "CHECK_EQ( Three, 4 ) with expansion: 3, 4"},
      {"Basic.Throws std", "EXCEPTION", "boom std"},
      {"Basic.Throws other", "EXCEPTION", "unknown exception"},
      {"Basic.Is skipped", "SKIPPED", "Skipped: the test is marked to skip"},
      {"Basic.Should fail and does", "SUCCESS", "REPORT Expected failure: CHECK( false )"},
      {"Basic.Should fail but passes", "FAILURE", "Failed as the framework judges it"},
      {"Basic.Expects two failures", "SUCCESS", nullptr},
      {"Basic.Has subcases", "FAILURE", "[first > inner] CHECK( 2 == 3 )"},
      {"Basic.Prints a fake report", "FAILURE", "REPORT <TestCase name=\"Forged\">"},
      {"Names.Comma, and * star ? mark \\ backslash", "SUCCESS", nullptr},
      {"Names.comma, AND * STAR ? MARK \\ BACKSLASH", "FAILURE", nullptr},
      {"DoctestProgram.cpp.Crashes", "EXCEPTION", "Test process ended by SIGSEGV"},
      {"DoctestProgram.cpp.Aborts", "EXCEPTION", "Test process ended by SIGABRT"},
      {"DoctestProgram.cpp.Exits", "EXCEPTION", "Test process exited with code 0"},
      {"DoctestProgram.cpp.Hangs", "EXCEPTION", "Time limit of 2 s exceeded"},
      {"DoctestProgram.cpp.After the faults", "SUCCESS", nullptr},
  };
  const std::map<std::string, std::string> Got = ForeignResults(Run.Out);
  EXPECT_EQ(Got.size(), std::size(Cases)) << Run.Out;
  for (const TCase& Case : Cases) {
    const auto Found = Got.find(Case.Test);
    ASSERT_NE(Found, Got.end()) << Case.Test << " in\n" << Run.Out;
    EXPECT_EQ(Found->second, Case.Result) << Case.Test;
    if (Case.Shown != nullptr) {
      EXPECT_NE(Run.Log.find(Case.Shown), std::string::npos) << Case.Shown << " in\n" << Run.Log;
    }
  }
  EXPECT_TRUE(std::regex_search(
      Run.Out, std::regex(R"(DoctestProgram\.cpp:[0-9]+: FAILURE \(Basic\.Fails with values\))")))
      << Run.Out;

  // A filter selects through the names: a name holding ',' and the
  // framework's wildcards runs that test only, and the others end skipped.
  // The program is named by a path relative to the working folder.
  const TForeignRun Filtered =
      RunForeign(Dir, "run Modules/DoctestProgram --filter 'Names.Comma*:*After*'",
                 "cd " + std::string(KALVORO_TEST_MODULES_DIR) + "/.. &&");
  EXPECT_EQ(Filtered.Code, 0) << Filtered.Out;
  std::size_t Ran = 0;
  for (const auto& [Name, Result] : ForeignResults(Filtered.Out))
    Ran += Result == "SKIPPED" ? 0 : 1;
  EXPECT_EQ(Ran, 2u) << Filtered.Out;
}

} // namespace
