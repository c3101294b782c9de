// What a run chooses reaches each framework's program: a test that its
// framework runs only by name (disabled, hidden, marked to skip) runs when a
// filter names it and ends skipped when a pattern only matches it, and a
// shuffled run shuffles the program's own order by the framework's seed;
// and a program's own end (what it writes at exit) is not cut short.
#include "ForeignRun.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

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

// A program's listing is kept on disk by the program's identity: an
// unchanged program is not started to list again, one written over is, and
// a kept listing that cannot be read is listed again.
TEST(ForeignSelection, AListingIsKeptUntilTheProgramChanges) {
  for (const char* Program : {"GoogleTestProgram", "Catch2Program", "DoctestProgram"}) {
    SCOPED_TRACE(Program);
    TScratchDir Dir;
    const std::filesystem::path Copy = Dir.File(Program);
    std::filesystem::copy_file(std::string(KALVORO_TEST_MODULES_DIR) + "/" + Program, Copy);
    const std::string Environment = "KALVORO_CACHE_DIR=" + Dir.File("cache");
    const auto Listed = [&] { return RunForeign(Dir, "list " + Copy.string(), Environment).Out; };
    const auto Entries = [&](const std::function<std::string(std::string)>& aChange) {
      for (const auto& Entry : std::filesystem::directory_iterator(Dir.File("cache/listings")))
        WriteFile(Entry.path(), aChange(ReadFile(Entry.path())));
    };
    ASSERT_NE(Listed().find("    Passes\n"), std::string::npos);
    // The kept listing is what the next run reads (renamed, same length).
    Entries([](std::string aEntry) {
      for (std::size_t At; (At = aEntry.find("Passes")) != std::string::npos;)
        aEntry.replace(At, 6, "Kept01");
      return aEntry;
    });
    EXPECT_NE(Listed().find("    Kept01\n"), std::string::npos);
    std::filesystem::last_write_time(Copy, std::filesystem::last_write_time(Copy) +
                                               std::chrono::seconds(1));
    EXPECT_NE(Listed().find("    Passes\n"), std::string::npos);
    Entries([](const std::string& aEntry) { return aEntry.substr(0, aEntry.size() / 2); });
    EXPECT_NE(Listed().find("    Passes\n"), std::string::npos);
  }
}

// A program whose tests have all ended still ends by itself, with one job
// or several, as one built for coverage must to write its data at exit.
TEST(ForeignSelection, AProgramEndsByItselfAfterItsLastTest) {
  for (const char* Program : {"GoogleTestProgram", "Catch2Program", "DoctestProgram"})
    for (const char* Jobs : {"1", "2"}) {
      SCOPED_TRACE(std::string(Program) + " -j " + Jobs);
      TScratchDir Dir;
      const std::string Mark = Dir.File("ended");
      RunForeign(Dir,
                 std::string("run ") + KALVORO_TEST_MODULES_DIR + "/" + Program +
                     " --filter '*.Passes' -j " + Jobs,
                 "KALVORO_CACHE_DIR= KALVORO_END_MARK=" + Mark);
      EXPECT_EQ(ReadFile(Mark), "ended\n");
    }
}

} // namespace
