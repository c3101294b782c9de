// The test programs of every framework run with several jobs against one
// job: the unit tests of a program run as several program starts at once,
// yet the log, JUnit and the terminal's lines are the serial run's, times
// masked. The programs with faults (crashes, hangs, exits, tests that print
// at the edge of their end) give every method the serial run's result.
#include "ForeignRun.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

using KalvoroTest::ForeignResults;
using KalvoroTest::ReadFile;
using KalvoroTest::RunForeign;
using KalvoroTest::TScratchDir;

std::string Masked(const std::string& aText) {
  static const std::regex Varying(
      R"(\d{2}[-/.]\d{2}[-/.]\d{4}|\d{2}:\d{2}:\d{2}|\d+\.\d+ s|time="[0-9.]*"|timestamp="[^"]*")");
  return std::regex_replace(aText, Varying, "#");
}

TEST(ForeignInParallel, EveryProgramWritesTheSerialRunsReports) {
  struct TCase {
    const char* Program;
    const char* Arguments;
    const char* Environment;
    bool Faults; // its faults' output may fall to another test: results only
  };
  const TCase Cases[] = {
      {"GoogleTestSamples", "", "", false},
      {"GoogleTestSamples", "--shuffle --seed 7 --repeat 2", "", false},
      // Kept apart: when they run changes, not what is written.
      {"GoogleTestSamples", "--serial 'Prime*.*:*Queue*.*'", "", false},
      {"GoogleTestProgram", "--timeout 2", "KALVORO_GTEST_HANG=1", true},
      {"Catch2Program", "--timeout 2", "KALVORO_CATCH2_HANG=1", true},
      {"DoctestProgram", "--timeout 2", "KALVORO_DOCTEST_HANG=1", true},
  };
  for (const TCase& Case : Cases) {
    TScratchDir Dir;
    const std::string Run = std::string("run ") + KALVORO_TEST_MODULES_DIR + "/" + Case.Program +
                            " " + Case.Arguments + " --junit " + Dir.File("junit") + " -j ";
    const KalvoroTest::TForeignRun Serial = RunForeign(Dir, Run + "1", Case.Environment);
    const std::string SerialJUnit = ReadFile(Dir.File("junit"));
    ASSERT_FALSE(ForeignResults(Serial.Out).empty()) << Serial.Out;
    for (const char* Jobs : {"2", "4"}) {
      SCOPED_TRACE(std::string(Case.Program) + " " + Case.Arguments + " -j " + Jobs);
      const KalvoroTest::TForeignRun Parallel = RunForeign(Dir, Run + Jobs, Case.Environment);
      EXPECT_EQ(Parallel.Code, Serial.Code) << Parallel.Out;
      EXPECT_EQ(ForeignResults(Parallel.Out), ForeignResults(Serial.Out));
      if (Case.Faults)
        continue;
      EXPECT_EQ(Masked(Parallel.Log), Masked(Serial.Log));
      EXPECT_EQ(Masked(Parallel.Out), Masked(Serial.Out));
      EXPECT_EQ(Masked(ReadFile(Dir.File("junit"))), Masked(SerialJUnit));
    }
  }
}

} // namespace
