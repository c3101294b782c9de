// Start All of one project from two callers of the runner core: a caller
// without Qt or a terminal, with sinks that collect each page's lines (as the
// results view does), and the console runner. Their report files must agree.
#include "ConsoleTestSupport.h"
#include "Project.h"
#include "RunnerCore.h"

#include <gtest/gtest.h>

#include <regex>

using namespace ConsoleTest;

namespace {

// Dates and times differ between the two runs; everything else must not.
std::string Undated(const std::string& aText) {
  static const std::regex Stamp("[0-9]{2}.[0-9]{2}.[0-9]{4} [0-9]{2}.[0-9]{2}.[0-9]{2}");
  return std::regex_replace(aText, Stamp, "DATE");
}

// The shipped demo project, copied with its modules into a folder of its own,
// where its relative report file names lead.
class StartAll : public ::testing::Test {
protected:
  StartAll() {
    const fs::path Examples(KALVORO_EXAMPLES_DIR);
    fs::copy_file(Examples / "Demo.kvr", Dir / "Demo.kvr");
    fs::create_symlink(Examples / "Demo.so", Dir / "Demo.so");
    fs::create_symlink(Examples / "Vacuel.bpl", Dir / "Vacuel.bpl");
  }

  // The pages' files as the project names them, in the order Summary, Log, Errors.
  std::vector<fs::path> ReportFiles() const {
    return {Dir / "Demo-Summary.txt", Dir / "Demo-Log.txt", Dir / "Demo-Error.txt"};
  }

  TScratchDir Temp;
  const fs::path& Dir = Temp.Path();
};

TEST_F(StartAll, CoreCallerAndConsoleRunnerWriteTheSameReportFiles) {
  const std::string ProjectFile = (Dir / "Demo.kvr").string();
  {
    TOpenProjectResult Opened = OpenProject(ProjectFile);
    ASSERT_TRUE(Opened.Error.empty()) << Opened.Error;
    const TProject& Project = *Opened.Project;
    std::vector<TTestScenario*> Scenarios(Project.Scenarios().begin(), Project.Scenarios().end());
    std::vector<std::string> Summary, Log, Errors;
    RunScenarios(Scenarios, [&](TTestScenario& aScenario) {
      return std::make_unique<TLinesOutput>(&aScenario, &Log, &Errors, &Summary);
    });
    TPerPage<TPageFile> Files = Project.FileInfo().Pages();
    for (TPageFile& File : Files.Items)
      File.FileName = Project.ResolvePath(File.FileName);
    TPerPage<TPageText> Texts;
    Texts[pkSummary].Lines = &Summary;
    Texts[pkLog].Lines = &Log;
    Texts[pkErrors].Lines = &Errors;
    SaveReportFiles(Files, Texts);
  }
  std::vector<std::string> FromCore;
  for (const fs::path& File : ReportFiles()) {
    ASSERT_TRUE(fs::exists(File)) << File;
    FromCore.push_back(ReadFile(File));
    fs::remove(File);
  }

  std::ostringstream Out, Err;
  TRunnerStreams Streams{Out, Err, false};
  EXPECT_EQ(RunnerMain({"run", ProjectFile}, Streams), ExitTestsFailed) << Err.str();
  const std::vector<fs::path> Files = ReportFiles();
  for (std::size_t I = 0; I < Files.size(); ++I)
    EXPECT_EQ(Undated(ReadFile(Files[I])), Undated(FromCore[I])) << Files[I];
  // Both scenarios ran, each with its failures and crash reported.
  EXPECT_NE(FromCore[0].find("SUCCESS   TStackTest.TestPop\r\n"), std::string::npos);
  EXPECT_NE(FromCore[1].find("EXCEPTION TCrashTest.TestNullPointer (Access violation (SIGSEGV))"),
            std::string::npos);
  EXPECT_NE(FromCore[2].find("FAILURE (TMathTest.TestDivide) third is 0.33\r\n"),
            std::string::npos);
}

} // namespace
