#include "ConsoleRunner.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace Kalvoro;
namespace fs = std::filesystem;

namespace {

const std::string DemoModule = std::string(KALVORO_EXAMPLES_DIR) + "/Demo.so";
const std::string VacuelModule = std::string(KALVORO_EXAMPLES_DIR) + "/Vacuel.bpl";

struct TRun {
  int Code = -1;
  std::string Out;
  std::string Err;
};

TRun Runner(const std::vector<std::string>& aArguments) {
  std::ostringstream Out;
  std::ostringstream Err;
  TRunnerStreams Streams{Out, Err, false};
  TRun Result;
  Result.Code = RunnerMain(aArguments, Streams);
  Result.Out = Out.str();
  Result.Err = Err.str();
  return Result;
}

std::string ReadFile(const fs::path& aPath) {
  std::ifstream Stream(aPath, std::ios::binary);
  std::stringstream Buffer;
  Buffer << Stream.rdbuf();
  return Buffer.str();
}

std::vector<std::string> Lines(const std::string& aText) {
  std::vector<std::string> Result;
  std::istringstream Stream(aText);
  for (std::string Line; std::getline(Stream, Line);)
    Result.push_back(Line);
  return Result;
}

class TempDir {
public:
  TempDir() {
    char Pattern[] = "/tmp/kalvoro-console-XXXXXX";
    FPath = mkdtemp(Pattern);
  }
  ~TempDir() { fs::remove_all(FPath); }
  const fs::path& Path() const { return FPath; }

private:
  fs::path FPath;
};

} // namespace

TEST(ConsoleArguments, RejectsWhatItCannotDo) {
  for (const std::vector<std::string>& Arguments : {std::vector<std::string>{},
                                                    {"run"},
                                                    {"jump", DemoModule},
                                                    {"run", DemoModule, "--bogus"},
                                                    {"run", DemoModule, "--junit"},
                                                    {"run", DemoModule, "extra"},
                                                    {"run", DemoModule, "--scenario", "X"},
                                                    {"run", DemoModule, "--no-files"}}) {
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
  const std::vector<std::string> Out = Lines(Result.Out);
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
  TempDir Dir;
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

  // The error file holds exactly the error lines printed on the terminal.
  std::string ErrorsText = ReadFile(Errors);
  EXPECT_EQ(ErrorsText.substr(0, 46), "FAILURE (TMathTest.TestDivide) third is 0.33\r\n");
  std::string Printed;
  for (const std::string& Line : Lines(Result.Out)) {
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
