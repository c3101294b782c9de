// The console runner: arguments, module mode, the program, the progress bar.
#include "ConsoleTestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <regex>

using namespace ConsoleTest;

TEST(ConsoleArguments, RejectsWhatItCannotDo) {
  for (const std::vector<std::string>& Arguments : {std::vector<std::string>{},
                                                    {"run"},
                                                    {"jump", DemoModule},
                                                    {"run", DemoModule, "--bogus"},
                                                    {"run", DemoModule, "--junit"},
                                                    {"run", DemoModule, "--junit", "--no-progress"},
                                                    {"run", DemoModule, "--log", ""},
                                                    {"run", DemoModule, "extra"},
                                                    {"run", DemoModule, "--scenario", "X"},
                                                    {"run", DemoModule, "--no-files"},
                                                    {"run", DemoModule, "--timeout", "0"},
                                                    {"run", DemoModule, "--timeout", "-1"},
                                                    {"run", DemoModule, "--timeout", "1s"},
                                                    {"run", DemoModule, "--timeout", "abc"},
                                                    {"run", DemoModule, "--timeout"}}) {
    const TRun Result = Runner(Arguments);
    EXPECT_EQ(Result.Code, ExitUsageOrLoad) << ::testing::PrintToString(Arguments);
    EXPECT_EQ(Result.Err.rfind("kalvoro: ", 0), 0u) << Result.Err;
    EXPECT_TRUE(Result.Out.empty());
  }
}

TEST(ConsoleArguments, HelpAndVersion) {
  const TRun Help = Runner({"--help"});
  EXPECT_EQ(Help.Code, ExitSuccess);
  EXPECT_NE(Help.Out.find("kalvoro run MODULE"), std::string::npos);
  EXPECT_NE(Help.Out.find("Exit codes"), std::string::npos);
  EXPECT_NE(Help.Out.find("--timeout SECONDS"), std::string::npos);
  const TRun Version = Runner({"--version"});
  EXPECT_EQ(Version.Out, "kalvoro 0.7.0\n");
}

TEST(ConsoleArguments, ProjectFilesAreToldByExtension) {
  EXPECT_TRUE(IsProjectPath("a/b/Demo.kvr"));
  EXPECT_TRUE(IsProjectPath("DEMO.KVR"));
  EXPECT_FALSE(IsProjectPath("Demo.so"));
  EXPECT_FALSE(IsProjectPath("dir.kvr/module"));
  EXPECT_FALSE(IsProjectPath("kvr"));
}

TEST(ConsoleModuleMode, DemoPrintsErrorsAndSummaryAndFailsTheRun) {
  const TRun Result = Runner({"run", DemoModule});
  EXPECT_EQ(Result.Code, ExitTestsFailed) << Result.Err;
  // A failed check's line starts with its place; other error lines do not.
  EXPECT_TRUE(std::regex_search(
      Result.Out, std::regex(R"((^|\n)[^ \n]*Examples/Demo/DemoTests\.cpp:[0-9]+: )"
                             R"(FAILURE \(TMathTest\.TestDivide\) third is 0\.33\n)")))
      << Result.Out;
  EXPECT_NE(Result.Out.find("\nEXCEPTION (TBrokenInitTest.Init)"), std::string::npos);
  const std::vector<std::string> Out = LinesWithoutPlaces(Result.Out);
  // The error list, as the lines arrive, then the summary report.
  const std::vector<std::string> Errors{
      "FAILURE (TMathTest.TestDivide) third is 0.33",
      "EXCEPTION (TMathTest.TestModulo) vector::_M_range_check: __n (which is 3) >= "
      "this->size() (which is 3)",
      "EXCEPTION (TBrokenInitTest.Init) database not reachable",
      "EXCEPTION (TBrokenExitTest.Exit) cleanup failed",
      "EXCEPTION (TCrashTest.TestNullPointer) Access violation (SIGSEGV)"};
  ASSERT_GE(Out.size(), Errors.size() + 18);
  EXPECT_EQ(std::vector<std::string>(Out.begin(), Out.begin() + 5), Errors);
  EXPECT_EQ(Out[5], "");
  EXPECT_EQ(Out[7], "Kalvoro Console Summary");
  const std::vector<std::string> Tail(Out.end() - 6, Out.end());
  EXPECT_EQ(Tail, (std::vector<std::string>{"=======", "Total number of UnitTest Methods = 9",
                                            "# Skipped    = 0", "# Success    = 4",
                                            "# Failures   = 1", "# Exceptions = 4"}));
  EXPECT_NE(Result.Out.find("SUCCESS   TCrashTest.TestAfterCrash"), std::string::npos);
}

TEST(ConsoleModuleMode, WritesTheNamedFilesWithCrLf) {
  TScratchDir Dir;
  const fs::path Log = Dir.Path() / "log.txt";
  const fs::path Errors = Dir.Path() / "errors.txt";
  const fs::path Summary = Dir.Path() / "summary.txt";
  const fs::path JUnit = Dir.Path() / "junit.xml";
  {
    std::ofstream Old(Log);
    Old << "stale content that must go\n";
  }
  const TRun Result = Runner({"run", DemoModule, "--log", Log.string(), "--errors", Errors.string(),
                              "--summary", Summary.string(), "--junit", JUnit.string()});
  EXPECT_EQ(Result.Code, ExitTestsFailed);

  const std::string LogText = ReadFile(Log);
  EXPECT_EQ(LogText.find("stale"), std::string::npos);
  EXPECT_EQ(LogText.rfind("BEGIN Default Scenario (", 0), 0u);
  EXPECT_NE(LogText.find("\r\n  BEGIN TMathTest\r\n    BEGIN TestAdd\r\n      SUCCESS 2+2 gives "
                         "4\r\n"),
            std::string::npos);
  EXPECT_NE(LogText.find("      EXCEPTION TCrashTest.TestNullPointer (Access violation "
                         "(SIGSEGV))\r\n"),
            std::string::npos);

  // The error file holds exactly the error lines printed on the terminal,
  // without the places of the checks.
  std::string ErrorsText = ReadFile(Errors);
  EXPECT_EQ(ErrorsText.substr(0, 46), "FAILURE (TMathTest.TestDivide) third is 0.33\r\n");
  std::string Printed;
  for (const std::string& Line : LinesWithoutPlaces(Result.Out)) {
    if (Line.empty())
      break;
    Printed += Line + "\r\n";
  }
  EXPECT_EQ(ErrorsText, Printed);

  const std::string SummaryText = ReadFile(Summary);
  EXPECT_EQ(SummaryText.rfind("\r\n===============================================\r\n", 0), 0u);
  EXPECT_NE(SummaryText.find("# Exceptions = 4\r\n"), std::string::npos);
  EXPECT_EQ(SummaryText.find('\n', 0), 1u);

  const std::string Xml = ReadFile(JUnit);
  EXPECT_EQ(Xml.rfind("<?xml", 0), 0u);
  EXPECT_NE(Xml.find("<testsuite name=\"TCrashTest\""), std::string::npos);
  EXPECT_NE(Xml.find("Access violation (SIGSEGV)"), std::string::npos);
}

TEST(ConsoleModuleMode, EmptyModuleSucceedsAndUnloadableModuleIsRefused) {
  const TRun Empty = Runner({"run", VacuelModule});
  EXPECT_EQ(Empty.Code, ExitSuccess) << Empty.Err;
  EXPECT_NE(Empty.Out.find("Total number of UnitTest Methods = 0"), std::string::npos);

  const TRun Missing = Runner({"run", "/nonexistent/Missing.so"});
  EXPECT_EQ(Missing.Code, ExitUsageOrLoad);
  EXPECT_EQ(Lines(Missing.Err).at(0),
            "kalvoro: Failed to load package or library \"/nonexistent/Missing.so\"");
  EXPECT_TRUE(Missing.Out.empty());
}

TEST(ConsoleModuleMode, UnwritableReportFileIsAnError) {
  const TRun Result = Runner({"run", VacuelModule, "--log", "/nonexistent/dir/log.txt"});
  EXPECT_EQ(Result.Code, ExitUsageOrLoad);
  EXPECT_NE(Result.Err.find("/nonexistent/dir/log.txt"), std::string::npos);
}

TEST(ConsoleModuleMode, ListShowsUnitTestsAndMethods) {
  const TRun Result = Runner({"list", DemoModule});
  EXPECT_EQ(Result.Code, ExitSuccess);
  const std::vector<std::string> Out = Lines(Result.Out);
  ASSERT_GE(Out.size(), 5u);
  EXPECT_EQ(Out[0], "Demo.so (LOAD SUCCESS)");
  EXPECT_EQ(Out[1], "  TMathTest");
  EXPECT_EQ(Out[2], "    TestAdd");
  EXPECT_EQ(Out.back(), "  TNoMethodsTest");
}

// The program itself: the crash in the demo module must not take it down.
TEST(ConsoleProgram, SurvivesTheCrashingMethodAndReportsByExitCode) {
  const std::string Command = std::string(KALVORO_RUNNER) + " run " + DemoModule + " >/dev/null";
  const int Status = std::system(Command.c_str());
  ASSERT_TRUE(WIFEXITED(Status));
  EXPECT_EQ(WEXITSTATUS(Status), ExitTestsFailed);
}

TEST(ConsoleProgress, BarOnATerminalIsDrawnAndClearedBeforeOtherOutput) {
  std::ostringstream Out;
  std::ostringstream Err;
  TRunnerStreams Streams{Out, Err, true};
  EXPECT_EQ(RunnerMain({"run", DemoModule}, Streams), ExitTestsFailed);
  const std::string Bar = Err.str();
  EXPECT_NE(Bar.find("\r[#"), std::string::npos) << Bar;
  EXPECT_NE(Bar.find("/9 "), std::string::npos) << Bar;
  // The bar ends erased, so the terminal is left clean.
  EXPECT_EQ(Bar.substr(Bar.size() - 4), "\r\033[K");

  std::ostringstream QuietErr;
  TRunnerStreams Quiet{Out, QuietErr, true};
  RunnerMain({"run", DemoModule, "--no-progress"}, Quiet);
  EXPECT_TRUE(QuietErr.str().empty());
}

// With several jobs the bar counts a method when its host reports it done:
// while the first unit test waits for the later ones, the bar shows them
// counted beside its name, before the run has written them.
TEST(ConsoleProgress, BarCountsMethodsThatFinishedAheadOfTheRun) {
  TScratchDir Dir;
  const fs::path Marks = Dir.Path() / "marks";
  setenv("KALVORO_MARKS", Marks.c_str(), 1);
  std::ostringstream Out;
  std::ostringstream Err;
  TRunnerStreams Streams{Out, Err, true};
  const int Code = RunnerMain(
      {"run", std::string(KALVORO_TEST_MODULES_DIR) + "/WaitsForLater.so", "-j", "2"}, Streams);
  unsetenv("KALVORO_MARKS");
  EXPECT_EQ(Code, ExitSuccess) << Out.str();
  // Each drawing: "[###...] COUNT/4 LABEL".
  int MostBesideTheWaiting = -1;
  const std::regex Drawing(R"(\] (\d+)/4 ([^\r\x1b]*))");
  const std::string Bar = Err.str();
  for (auto It = std::sregex_iterator(Bar.begin(), Bar.end(), Drawing);
       It != std::sregex_iterator(); ++It)
    if ((*It)[2].str() == "TWaits.TestForLater")
      MostBesideTheWaiting = std::max(MostBesideTheWaiting, std::stoi((*It)[1].str()));
  // Its own method and at least one later one.
  EXPECT_GE(MostBesideTheWaiting, 2) << Bar;
  EXPECT_NE(Bar.find("] 4/4 "), std::string::npos) << Bar;
}

// A page that goes to no file is not kept, and the runner then asks for less
// of the run; what is printed and what each file holds stay the same.
TEST(ConsoleModuleMode, EachFileAloneHoldsWhatItHoldsBesideTheOthers) {
  TScratchDir Dir;
  const auto Run = [&](const std::string& aName, std::vector<std::string> aOptions) {
    std::vector<std::string> Arguments{"run", DemoModule};
    for (std::string& Option : aOptions)
      Arguments.push_back(Option == "LOG" || Option == "ERRORS"
                              ? (Dir.Path() / (aName + Option)).string()
                              : Option);
    return Runner(Arguments);
  };
  // Dates and times differ from run to run; everything else must not.
  const auto Undated = [](std::string aText) {
    for (std::size_t At = aText.find(" ("); At != std::string::npos; At = aText.find(" (", At + 1))
      if (At + 22 <= aText.size() && aText[At + 4] == '-' && aText[At + 7] == '-')
        aText.replace(At + 2, 19, "DATE");
    const std::size_t Stamp = aText.find("Report Date/Time:");
    if (Stamp != std::string::npos)
      aText.erase(Stamp, aText.find('\n', Stamp) - Stamp);
    return aText;
  };
  const TRun Both = Run("both", {"--log", "LOG", "--errors", "ERRORS"});
  const TRun LogOnly = Run("log", {"--log", "LOG"});
  const TRun ErrorsOnly = Run("errors", {"--errors", "ERRORS"});
  const TRun Neither = Run("neither", {});

  const std::string Log = ReadFile(Dir.Path() / "bothLOG");
  EXPECT_NE(Log.find("      SUCCESS 2+2 gives 4\r\n"), std::string::npos);
  EXPECT_EQ(Undated(ReadFile(Dir.Path() / "logLOG")), Undated(Log));
  EXPECT_EQ(ReadFile(Dir.Path() / "errorsERRORS"), ReadFile(Dir.Path() / "bothERRORS"));
  EXPECT_FALSE(fs::exists(Dir.Path() / "logERRORS"));
  EXPECT_FALSE(fs::exists(Dir.Path() / "errorsLOG"));
  for (const TRun* Result : {&LogOnly, &ErrorsOnly, &Neither}) {
    EXPECT_EQ(Result->Code, ExitTestsFailed);
    EXPECT_EQ(Undated(Result->Out), Undated(Both.Out));
  }
}

// Pages are saved one after another, each replacing the file: of pages named
// to the same file, the last one in the order Summary, Log, Errors remains.
TEST(ConsoleModuleMode, PagesNamedToOneFileLeaveTheLastPage) {
  TScratchDir Dir;
  const std::string Shared = (Dir.Path() / "shared.txt").string();
  const std::string Other = (Dir.Path() / "." / "shared.txt").string();
  const TRun LogAndErrors = Runner({"run", DemoModule, "--log", Shared, "--errors", Other});
  EXPECT_EQ(LogAndErrors.Code, ExitTestsFailed);
  const std::string Errors = ReadFile(Shared);
  EXPECT_EQ(Errors.rfind("FAILURE (TMathTest.TestDivide) third is 0.33\r\n", 0), 0u);
  EXPECT_EQ(Errors.find("BEGIN"), std::string::npos);

  const TRun SummaryAndLog = Runner({"run", DemoModule, "--summary", Shared, "--log", Shared});
  EXPECT_EQ(SummaryAndLog.Code, ExitTestsFailed);
  const std::string Log = ReadFile(Shared);
  EXPECT_EQ(Log.rfind("BEGIN Default Scenario (", 0), 0u);
  EXPECT_EQ(Log.find("# Exceptions ="), std::string::npos);
}

// A log file that cannot be written does not stop the run: the tests run,
// their results are printed, and the error comes at the end.
TEST(ConsoleModuleMode, UnwritableLogStillRunsTheTests) {
  const TRun Result = Runner({"run", DemoModule, "--log", "/nonexistent/dir/log.txt"});
  EXPECT_EQ(Result.Code, ExitUsageOrLoad);
  EXPECT_NE(Result.Out.find("# Exceptions = 4"), std::string::npos);
  EXPECT_NE(Result.Err.find("Unable to write to /nonexistent/dir/log.txt"), std::string::npos);
}

TEST(ConsoleModuleMode, VerbosePrintsTheLogInsteadOfTheErrorList) {
  const TRun Result = Runner({"run", DemoModule, "-v"});
  EXPECT_EQ(Result.Code, ExitTestsFailed);
  const std::vector<std::string> Out = Lines(Result.Out);
  const auto Has = [&](const std::string& aLine) {
    return std::find(Out.begin(), Out.end(), aLine) != Out.end();
  };
  EXPECT_EQ(Out.front().rfind("BEGIN Default Scenario (", 0), 0u);
  EXPECT_TRUE(Has("    BEGIN TestAdd"));
  EXPECT_TRUE(Has("      SUCCESS 2+2 gives 4"));
  EXPECT_TRUE(Has("      FAILURE third is 0.33"));
  EXPECT_FALSE(Has("FAILURE (TMathTest.TestDivide) third is 0.33"));
  EXPECT_TRUE(Has("# Failures   = 1"));
}

TEST(ConsoleArguments, TimeoutTakesDecimalSeconds) {
  TRunnerOptions Options;
  std::string Error;
  ASSERT_TRUE(ParseRunnerArguments({"run", "m.so", "--timeout", "0.5"}, Options, Error)) << Error;
  EXPECT_EQ(Options.TimeLimit, 0.5);
  ASSERT_TRUE(ParseRunnerArguments({"run", "m.so", "--timeout", "2"}, Options, Error)) << Error;
  EXPECT_EQ(Options.TimeLimit, 2);
  ASSERT_TRUE(ParseRunnerArguments({"run", "m.so"}, Options, Error));
  EXPECT_EQ(Options.TimeLimit, 0);
  EXPECT_FALSE(ParseRunnerArguments({"run", "m.so", "--timeout", "1e400"}, Options, Error));
  EXPECT_NE(Error.find("--timeout"), std::string::npos);
}

// A busy loop and a sleep end as exceptions within their limit; the methods
// and unit tests after them run.
TEST(ConsoleRun, TimeoutEndsHangingMethods) {
  const auto Start = std::chrono::steady_clock::now();
  const TRun Result = Runner({"run", std::string(KALVORO_TEST_MODULES_DIR) + "/Hangs.so",
                              "--timeout", "0.2", "--no-progress", "--verbose"});
  EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(10));
  EXPECT_EQ(Result.Code, ExitTestsFailed) << Result.Err;
  std::size_t Count = 0;
  for (std::size_t At = Result.Out.find("Time limit of 0.2 s exceeded"); At != std::string::npos;
       At = Result.Out.find("Time limit of 0.2 s exceeded", At + 1))
    ++Count;
  EXPECT_EQ(Count, 2u) << Result.Out;
  for (const char* Text : {"after the busy loop", "after the sleep", "next unit test runs"})
    EXPECT_NE(Result.Out.find(Text), std::string::npos) << Text << "\n" << Result.Out;
}
