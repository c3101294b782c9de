#include "IOutput.h"

#include "ReportingTestSupport.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace ReportingTest {
namespace {

// Records every write in one sequence, so the order across the three kinds shows.
class TRecordingOutput : public TOutput {
public:
  using TOutput::TOutput;
  std::vector<std::string> Calls;

protected:
  void WriteLog(const std::string& aText) override { Calls.push_back("L:" + aText); }
  void WriteError(const std::string& aText) override { Calls.push_back("E:" + aText); }
  void WriteSummary(const std::string& aText) override { Calls.push_back("S:" + aText); }
};

void Fire(TTestScenario& aScenario, std::unique_ptr<TCustomMessage> aMessage) {
  aScenario.FireStateNotification(std::move(aMessage));
}

TEST(Output, SinkWithoutScenarioWritesNothing) {
  std::vector<std::string> Log, Errors, Summary;
  TLinesOutput Output(nullptr, &Log, &Errors, &Summary);
  EXPECT_EQ(Output.TestScenario(), nullptr);
  Output.HandleMessage(nullptr, TCheckMessage("x", "S", "T", "M"));
  Output.OutputSummary();
  EXPECT_TRUE(Log.empty());
  EXPECT_TRUE(Errors.empty());
  EXPECT_TRUE(Summary.empty());
}

TEST(Output, LogLineComesBeforeErrorLineAndOnlyNonEmptyLinesAreWritten) {
  TTestScenario Scenario("S");
  TRecordingOutput Output(&Scenario, Slashes, SequenceClock({Begin}));
  Output.HandleMessage(nullptr, static_cast<const TCustomMessage*>(nullptr));
  Fire(Scenario, std::make_unique<TCheckMessage>("held"));
  Fire(Scenario, std::make_unique<TProgressMessage>(ptInitStart, "S", "T", "Init"));
  Fire(Scenario, std::make_unique<TCheckMessage>("broke", "S", "T", "M"));
  Fire(Scenario, std::make_unique<TExceptionMessage>("S", "T", "M", "boom"));
  const std::vector<std::string> Expected = {
      "L:SUCCESS held",         "L:FAILURE broke",        "E:FAILURE (T.M) broke",
      "L:EXCEPTION T.M (boom)", "E:EXCEPTION (T.M) boom",
  };
  EXPECT_EQ(Output.Calls, Expected);
}

TEST(Output, SummaryLinesArePassedOnEmptyOnesIncluded) {
  TTestScenario Scenario("Empty");
  Scenario.Run();
  TRecordingOutput Output(&Scenario, Slashes, SequenceClock({End}));
  Output.OutputSummary();
  ASSERT_EQ(Output.Calls.size(), 14u);
  EXPECT_EQ(Output.Calls[0], "S:");
  EXPECT_EQ(Output.Calls[5], "S:");
  EXPECT_EQ(Output.Calls[6], "S:");
  EXPECT_EQ(Output.Calls[13], "S:# Exceptions = 0");
}

TEST(Output, MissingListDropsItsLinesOnly) {
  TTestScenario Scenario("S");
  std::vector<std::string> Log, Summary;
  TLinesOutput Output(&Scenario, &Log, nullptr, &Summary, Slashes, SequenceClock({End}));
  Fire(Scenario, std::make_unique<TCheckMessage>("broke", "S", "T", "M"));
  Output.OutputSummary();
  EXPECT_EQ(Log, std::vector<std::string>{"FAILURE broke"});
  EXPECT_EQ(Summary.size(), 14u);
}

TEST(Output, DestroyedSinkNoLongerListens) {
  TTestScenario Scenario("S");
  std::vector<std::string> Log;
  {
    TLinesOutput Output(&Scenario, &Log, nullptr, nullptr);
    EXPECT_EQ(Scenario.StateNotifications().Count(), 1);
  }
  EXPECT_EQ(Scenario.StateNotifications().Count(), 0);
  Fire(Scenario, std::make_unique<TReportMessage>("late"));
  EXPECT_TRUE(Log.empty());
}

TEST(Output, StreamSinkWritesLinesEndedByNewline) {
  TTestScenario Scenario("S");
  std::ostringstream Log, Summary;
  {
    TStreamOutput Output(&Scenario, &Log, nullptr, &Summary, Slashes, SequenceClock({End}));
    Fire(Scenario, std::make_unique<TReportMessage>("one"));
    Fire(Scenario, std::make_unique<TCheckMessage>("two", "S", "T", "M"));
    Output.OutputSummary();
  }
  EXPECT_EQ(Log.str(), "REPORT one\nFAILURE two\n");
  const std::string SummaryText = Summary.str();
  EXPECT_EQ(SummaryText.substr(0, 49), "\n===============================================\n");
  EXPECT_EQ(std::count(SummaryText.begin(), SummaryText.end(), '\n'), 14);
}

// A whole run of in-process unit tests through a sink: one pass, one failed
// check followed by an exception, one exception, and a disabled unit test.
TEST(Output, ScenarioRunGivesTheFullLogErrorListAndSummary) {
  TSampleScenario Sample;
  std::vector<std::string> Log, Errors, Summary;
  {
    TLinesOutput Output(&Sample.Scenario, &Log, &Errors, &Summary, Slashes,
                        SequenceClock({Begin, End}));
    Sample.Scenario.Run();
    Output.OutputSummary();
  }
  // The unit tests in the scenario's order (TMathTest before TFileTest), the
  // disabled one's method skipped.
  const std::vector<std::string> ExpectedSummary = {
      "",
      "===============================================",
      "Kalvoro Console Summary",
      "Report Date/Time:  07/12/2026 03:45:23",
      "===============================================",
      "",
      "SUCCESS   TMathTest.TestAdd",
      "FAILURE   TMathTest.TestDivide",
      "EXCEPTION TMathTest.TestModulo",
      "SKIPPED   TFileTest.TestOpen",
      "",
      "Summary",
      "=======",
      "Total number of UnitTest Methods = 4",
      "# Skipped    = 1",
      "# Success    = 1",
      "# Failures   = 1",
      "# Exceptions = 1",
  };
  EXPECT_EQ(Log, WorkedExampleLog());
  EXPECT_EQ(Errors, WorkedExampleErrors);
  EXPECT_EQ(Summary, ExpectedSummary);
}

using KalvoroTest::ReadFile;

TEST(SaveLinesToFile, EndsEveryLineWithCrLfAndReplacesTheWholeFile) {
  const auto Path = std::filesystem::path(testing::TempDir()) / "kalvoro_report_lines.txt";
  SaveLinesToFile(Path.string(), {"a much longer first version", "", "of the report"});
  EXPECT_EQ(ReadFile(Path), "a much longer first version\r\n\r\nof the report\r\n");
  SaveLinesToFile(Path.string(), {"short"});
  EXPECT_EQ(ReadFile(Path), "short\r\n");
  SaveLinesToFile(Path.string(), {});
  EXPECT_EQ(ReadFile(Path), "");
  std::filesystem::remove(Path);
}

// Lines arrive from inside a run: a file that cannot be written must not stop
// it, but Close must say so.
TEST(LinesFile, KeepsTheFirstErrorForClose) {
  const std::string Missing =
      (std::filesystem::path(testing::TempDir()) / "kalvoro-no-such-folder" / "log.txt").string();
  TLinesFile Unopened(Missing);
  Unopened.WriteLine("dropped");
  EXPECT_THROW(
      {
        try {
          Unopened.Close();
        } catch (const Exception& Error) {
          EXPECT_EQ(std::string(Error.what()),
                    "Unable to write to " + Missing + ": No such file or directory");
          throw;
        }
      },
      Exception);

  // A full device fails when the buffer goes out, at the latest on Close.
  TLinesFile Full("/dev/full");
  for (int I = 0; I < 20000; ++I)
    Full.WriteLine("a line of a long log that does not fit anywhere");
  try {
    Full.Close();
    FAIL() << "no error raised";
  } catch (const Exception& Error) {
    EXPECT_EQ(std::string(Error.what()), "Unable to write to /dev/full: No space left on device");
  }
}

TEST(LinesFile, WritesLinesAsTheyComeAndEmptiesAnOldFile) {
  const auto Path = std::filesystem::path(testing::TempDir()) / "kalvoro_lines_file.txt";
  SaveLinesToFile(Path.string(), {"an older and longer report"});
  TLinesFile File(Path.string());
  EXPECT_EQ(ReadFile(Path), "");
  // Each line is in the file once written, not only when it is closed; a
  // flood may wait, until Flush at the latest.
  File.WriteLine("first");
  EXPECT_EQ(ReadFile(Path), "first\r\n");
  File.WriteLine("");
  EXPECT_EQ(ReadFile(Path), "first\r\n\r\n");
  for (int I = 0; I < 1000; ++I)
    File.WriteLine("flood");
  File.Flush();
  EXPECT_EQ(ReadFile(Path).size(), 9 + 1000 * 7u);
  File.Close();
  std::filesystem::remove(Path);
}

TEST(SaveLinesToFile, UnwritablePathRaisesAClearError) {
  const std::string Path =
      (std::filesystem::path(testing::TempDir()) / "kalvoro-no-such-folder" / "report.txt")
          .string();
  try {
    SaveLinesToFile(Path, {"x"});
    FAIL() << "no error raised";
  } catch (const Exception& Error) {
    EXPECT_EQ(std::string(Error.what()),
              "Unable to write to " + Path + ": No such file or directory");
  }
}

} // namespace
} // namespace ReportingTest
