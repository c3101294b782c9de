// A GoogleTest program as a module of the console runner: every test's
// outcome is the one the framework gives it, what it printed and why it
// failed are its report lines and checks, and the run goes on past each
// fault (a crash, an abort, an exit, a hang past the time limit).
#include "Json.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>
#include <sys/wait.h>

namespace {

using KalvoroTest::ReadFile;
using KalvoroTest::TScratchDir;

const std::string Program = std::string(KALVORO_TEST_MODULES_DIR) + "/GoogleTestProgram";

struct TOutcome {
  int Code;
  std::string Out;
  std::string Log;
};

TOutcome RunProgram(const TScratchDir& aDir, const std::string& aArguments,
                    const std::string& aEnvironment = {}) {
  const std::string Command = aEnvironment + " " + KALVORO_RUNNER + " " + aArguments + " --log " +
                              aDir.File("log") + " >" + aDir.File("out") + " 2>&1 </dev/null";
  const int Status = std::system(Command.c_str());
  return {WIFEXITED(Status) ? WEXITSTATUS(Status) : -1, ReadFile(aDir.File("out")),
          ReadFile(aDir.File("log"))};
}

// The results of the summary: "SUCCESS   Basic.Passes" per method.
std::map<std::string, std::string> Results(const std::string& aOut) {
  std::map<std::string, std::string> Result;
  std::istringstream Lines(aOut);
  for (std::string Line; std::getline(Lines, Line);) {
    for (const char* Word : {"SUCCESS", "FAILURE", "EXCEPTION", "SKIPPED"})
      if (Line.starts_with(Word) && Line.size() > 10 && Line[9] == ' ' && Line[10] != ' ' &&
          Line[10] != '(')
        Result[Line.substr(10)] = Word;
  }
  return Result;
}

TEST(GoogleTestKind, EveryOutcomeIsTheFrameworksAndTheRunGoesOnPastFaults) {
  TScratchDir Dir;
  const TOutcome Run = RunProgram(Dir, "run " + Program + " --timeout 2", "KALVORO_GTEST_HANG=1");
  EXPECT_EQ(Run.Code, 1) << Run.Out;
  struct TCase {
    const char* Test;
    const char* Result;
    const char* Shown; // in the log, where the method's lines are
  };
  const TCase Cases[] = {
      {"Basic.Passes", "SUCCESS", "REPORT printed by the test"},
      {"Basic.FailsWithValues", "FAILURE", "Which is: 3"},
      {"Basic.ThrowsStd", "EXCEPTION", "C++ exception with description \"boom std\""},
      {"Basic.ThrowsOther", "EXCEPTION", "Unknown C++ exception thrown in the test body."},
      {"Basic.Skips", "SKIPPED", "REPORT not today"},
      {"Basic.DISABLED_IsOff", "SKIPPED", "runs only by name"},
      {"Basic.PrintsAFakeReport", "FAILURE", "REPORT event=TestEnd&passed=1"},
      {"Faults.Crashes", "EXCEPTION", "Test process ended by SIGSEGV"},
      {"Faults.Aborts", "EXCEPTION", "Test process ended by SIGABRT"},
      {"Faults.Exits", "EXCEPTION", "Test process exited with code 0"},
      {"Faults.Hangs", "EXCEPTION", "Time limit of 2 s exceeded"},
      {"Faults.AfterTheFaults", "SUCCESS", "REPORT Succeeded"},
      {"Death.DiesAsExpected", "SUCCESS", nullptr},
      {"Death.DoesNotDie", "FAILURE", "failed to die"},
      {"BrokenSetUp.RunsAfterIt", "FAILURE", "set-up failed"},
      {"Setup.ShowsItsSettings", "SUCCESS", "REPORT setting: (none)"},
      {"HangingSetUp.NeverStarts", "EXCEPTION", "Time limit of 2 s exceeded in its suite's set-up"},
      {"Typed/0.HasSize", "SUCCESS", nullptr},
      {"Typed/1.HasSize", "SUCCESS", nullptr},
      {"Inst/Param.IsSmall/0", "SUCCESS", nullptr},
      {"Inst/Param.IsSmall/1", "FAILURE", "actual: 5 vs 3"},
  };
  const std::map<std::string, std::string> Got = Results(Run.Out);
  EXPECT_EQ(Got.size(), std::size(Cases)) << Run.Out;
  for (const TCase& Case : Cases) {
    const auto Found = Got.find(Case.Test);
    ASSERT_NE(Found, Got.end()) << Case.Test << " in\n" << Run.Out;
    EXPECT_EQ(Found->second, Case.Result) << Case.Test;
    if (Case.Shown != nullptr) {
      EXPECT_NE(Run.Log.find(Case.Shown), std::string::npos) << Case.Shown << " in\n" << Run.Log;
    }
  }
  // The framework's own printer and the test's forged report give no lines.
  for (const char* Printed : {"[ RUN      ]", "Running main()", "FAILED TEST"})
    EXPECT_EQ(Run.Log.find(Printed), std::string::npos) << Printed;
  // A failed check keeps its place in the test's source.
  EXPECT_TRUE(std::regex_search(
      Run.Out, std::regex(R"(GoogleTestProgram\.cpp:[0-9]+: FAILURE \(Basic\.FailsWithValues\))")))
      << Run.Out;

  // Listing names suites as unit tests and tests as methods; a filter
  // selects through them.
  const TOutcome List = RunProgram(Dir, "list " + Program);
  EXPECT_EQ(List.Code, 0);
  EXPECT_NE(List.Out.find("GoogleTestProgram (LOAD SUCCESS)\n  Basic\n    Passes\n"),
            std::string::npos)
      << List.Out;
  EXPECT_NE(List.Out.find("  Inst/Param\n    IsSmall/0\n    IsSmall/1\n"), std::string::npos);
  const TOutcome Filtered = RunProgram(Dir, "run " + Program + " --filter Faults.AfterTheFaults");
  EXPECT_EQ(Filtered.Code, 0) << Filtered.Out;
  EXPECT_EQ(Results(Filtered.Out).at("Faults.AfterTheFaults"), "SUCCESS");
}

// A program without the framework's printer (its main drops it) gives no
// headings or end lines: the report that it writes at its end tells skips
// from failures. It is asked for at once where no run before saw the
// printer; where one did (the same program with its printer), the tests that
// needed it run again, once, in a start that asks for it.
TEST(GoogleTestKind, SkipsAreToldFromFailuresWithoutThePrintersHeadings) {
  for (const bool Primed : {false, true}) {
    SCOPED_TRACE(Primed ? "a run with the printer before" : "no run before");
    TScratchDir Dir;
    const std::string Cache = "KALVORO_CACHE_DIR=" + Dir.File("cache");
    const std::string Basic = "run " + Program + " --filter 'Basic.*'";
    // With the printer: the first run asks for the report, the second
    // reads the printer's end lines.
    for (int Round = 0; Primed && Round < 2; ++Round) {
      const std::map<std::string, std::string> Got = Results(RunProgram(Dir, Basic, Cache).Out);
      EXPECT_EQ(Got.at("Basic.Skips"), "SKIPPED");
      EXPECT_EQ(Got.at("Basic.FailsWithValues"), "FAILURE");
    }
    const TOutcome Run = RunProgram(Dir, Basic, Cache + " KALVORO_GTEST_QUIET=1");
    const std::map<std::string, std::string> Expected = {{"Basic.Passes", "SUCCESS"},
                                                         {"Basic.FailsWithValues", "FAILURE"},
                                                         {"Basic.ThrowsStd", "EXCEPTION"},
                                                         {"Basic.ThrowsOther", "EXCEPTION"},
                                                         {"Basic.Skips", "SKIPPED"},
                                                         {"Basic.DISABLED_IsOff", "SKIPPED"},
                                                         {"Basic.PrintsAFakeReport", "FAILURE"}};
    std::map<std::string, std::string> Got = Results(Run.Out);
    std::erase_if(Got, [](const auto& aResult) { return !aResult.first.starts_with("Basic."); });
    EXPECT_EQ(Got, Expected) << Run.Out;
    // What the tests print is kept without the printer's frame (its test as
    // near as the stream tells); what a test that ran again did the first
    // time is gone.
    for (const char* Text : {"REPORT printed by the test", "REPORT to standard error"})
      EXPECT_NE(Run.Log.find(Text), std::string::npos) << Text << "\n" << Run.Log;
    const std::size_t Failed = Run.Log.find("FAILURE Failed\\nreal failure");
    ASSERT_NE(Failed, std::string::npos) << Run.Log;
    EXPECT_EQ(Run.Log.find("FAILURE Failed", Failed + 1), std::string::npos) << Run.Log;
  }
}

// The framework's own samples give, through the runner, every outcome that
// the program's own JSON report gives.
TEST(GoogleTestKind, TheFrameworksSamplesGiveTheProgramsOwnOutcomes) {
  TScratchDir Dir;
  const std::string Samples = std::string(KALVORO_TEST_MODULES_DIR) + "/GoogleTestSamples";
  const std::string Direct =
      Samples + " --gtest_output=json:" + Dir.File("own.json") + " >/dev/null 2>&1 </dev/null";
  ASSERT_EQ(std::system(Direct.c_str()), 0);
  const Kalvoro::TJson Own = Kalvoro::ReadJson(ReadFile(Dir.File("own.json")));
  std::map<std::string, std::string> Expected;
  for (const Kalvoro::TJson& Suite : Own.Find("testsuites")->Items)
    for (const Kalvoro::TJson& Test : Suite.Find("testsuite")->Items) {
      const Kalvoro::TJson* Failures = Test.Find("failures");
      Expected[Suite.TextOf("name") + "." + Test.TextOf("name")] =
          Test.TextOf("result") == "SKIPPED"                ? "SKIPPED"
          : Failures != nullptr && !Failures->Items.empty() ? "FAILURE"
                                                            : "SUCCESS";
    }
  ASSERT_GT(Expected.size(), 30u);
  const TOutcome Run = RunProgram(Dir, "run " + Samples);
  EXPECT_EQ(Run.Code, 0) << Run.Out;
  EXPECT_EQ(Results(Run.Out), Expected);
}

} // namespace
