// What a run chooses reaches each framework's program: a test that its
// framework runs only by name (disabled, hidden, marked to skip) runs when a
// filter names it and ends skipped when a pattern only matches it, and a
// shuffled run shuffles the program's own order by the framework's seed.
#include "ForeignRun.h"

#include <gtest/gtest.h>

namespace {

using namespace KalvoroTest;

TEST(ForeignSelection, TestsRunOnlyByNameRunWhenNamedAndShuffledRunsPassTheSeed) {
  struct TCase {
    const char* Program;
    const char* Named;   // the test its framework runs only by name
    const char* Matched; // a pattern that matches it without naming it
    const char* Passes;  // a test that prints the program's seed
  };
  const TCase Cases[] = {
      {"GoogleTestProgram", "Basic.DISABLED_IsOff", "Basic.DISABLED_*", "Basic.Passes"},
      {"Catch2Program", "Catch2Program.cpp.Is hidden", "*Is hidden*", "Catch2Program.cpp.Passes"},
      {"DoctestProgram", "Basic.Is skipped", "*Is skipped", "Basic.Passes"},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Program);
    TScratchDir Dir;
    const std::string Run = std::string("run ") + KALVORO_TEST_MODULES_DIR + "/" + Case.Program;

    const TForeignRun Named = RunForeign(Dir, Run + " --filter '" + Case.Named + "'");
    EXPECT_EQ(Named.Code, 1) << Named.Out;
    EXPECT_EQ(ForeignResults(Named.Out)[Case.Named], "FAILURE") << Named.Out;
    EXPECT_NE(Named.Log.find("ran by its name"), std::string::npos) << Named.Log;

    const TForeignRun Matched = RunForeign(Dir, Run + " --filter '" + Case.Matched + "'");
    EXPECT_EQ(Matched.Code, 0) << Matched.Out;
    EXPECT_EQ(ForeignResults(Matched.Out)[Case.Named], "SKIPPED") << Matched.Out;

    // The run's seed 7 gives the framework's seed 8 (from 1 up).
    const TForeignRun Shuffled = RunForeign(Dir, Run + " --seed 7 --filter '" + Case.Passes + "'");
    EXPECT_EQ(Shuffled.Code, 0) << Shuffled.Out;
    EXPECT_NE(Shuffled.Log.find("REPORT seed 8\r\n"), std::string::npos) << Shuffled.Log;
    const TForeignRun InOrder = RunForeign(Dir, Run + " --filter '" + Case.Passes + "'");
    EXPECT_NE(InOrder.Log.find("REPORT seed 0\r\n"), std::string::npos) << InOrder.Log;

    // A project's settings for the program reach it when it lists and runs.
    const std::string Path = std::string(KALVORO_TEST_MODULES_DIR) + "/" + Case.Program;
    const std::string Passes = Case.Passes;
    const std::string UnitTest = Passes.substr(0, Passes.rfind('.'));
    WriteFile(Dir.File("settings.kvr"),
              "[Project]\nSignature=Kalvoro\nFileVersion=1.0\nModuleCount=1\nScenarioCount=1\n"
              "[FileInfo]\nSummaryEnabled=0\nSummaryFileName=\nLogEnabled=0\nLogFileName=\n"
              "ErrorEnabled=0\nErrorFileName=\n[Scenarios]\nName0=Default Scenario\n"
              "[Modules]\nFile0=" +
                  Path + "\nLoad0=1\nAssignmentCount0=1\n[" + Path + "]\nAssign0=" + UnitTest +
                  "|Default Scenario|ENABLED\n[Program " + Path +
                  "]\nEnvironmentCount=1\nEnvironment0=PROGRAM_SETTING=on\n");
    const TForeignRun Set =
        RunForeign(Dir, "run " + Dir.File("settings.kvr") + " --filter '" + Case.Passes + "'");
    EXPECT_NE(Set.Log.find("REPORT setting: on\r\n"), std::string::npos) << Set.Log;
  }
}

} // namespace
