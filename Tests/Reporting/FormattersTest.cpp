#include "Formatters.h"

#include "ReportingTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ReportingTest {
namespace {

TProgressMessage Progress(TProgressType aType, const std::string& aUnitTest = {},
                          const std::string& aMethod = {}) {
  return TProgressMessage(aType, "Nightly", aUnitTest, aMethod);
}

class TUnknownMessage : public TCustomMessage {
public:
  std::int32_t GetId() const override { return 999; }
};

// Feeds the messages to both formatters the way a sink does and keeps the
// non-empty lines.
struct TFormatRun {
  TLogFormatter Log{Slashes, SequenceClock({Begin, End})};
  TErrorFormatter Error;
  std::vector<std::string> LogLines;
  std::vector<std::string> ErrorLines;

  void Feed(const TCustomMessage& aMessage) {
    std::string Text;
    Log.Format(aMessage, Text);
    if (!Text.empty())
      LogLines.push_back(Text);
    Error.Format(aMessage, Text);
    if (!Text.empty())
      ErrorLines.push_back(Text);
  }
};

// The messages of the worked example's run give its log and error list.
TEST(LogFormatter, WorkedExampleGivesItsLogAndErrorList) {
  TFormatRun Run;
  Run.Feed(Progress(ptScenarioStart));
  Run.Feed(Progress(ptUnitTestStart, "TMathTest"));
  Run.Feed(Progress(ptInitStart, "TMathTest", "Init"));
  Run.Feed(Progress(ptInitFinish, "TMathTest", "Init"));
  Run.Feed(Progress(ptMethodStart, "TMathTest", "TestAdd"));
  Run.Feed(TCheckMessage("2+2 gives 4"));
  Run.Feed(TReportMessage("adding done"));
  Run.Feed(Progress(ptMethodFinish, "TMathTest", "TestAdd"));
  Run.Feed(Progress(ptExitStart, "TMathTest", "Exit"));
  Run.Feed(Progress(ptExitFinish, "TMathTest", "Exit"));
  Run.Feed(Progress(ptInitStart, "TMathTest", "Init"));
  Run.Feed(Progress(ptInitFinish, "TMathTest", "Init"));
  Run.Feed(Progress(ptMethodStart, "TMathTest", "TestDivide"));
  Run.Feed(TCheckMessage("third is 0.33", "Nightly", "TMathTest", "TestDivide"));
  Run.Feed(TExceptionMessage("Nightly", "TMathTest", "TestDivide", "Index out of range"));
  Run.Feed(Progress(ptMethodFinish, "TMathTest", "TestDivide"));
  Run.Feed(Progress(ptExitStart, "TMathTest", "Exit"));
  Run.Feed(Progress(ptExitFinish, "TMathTest", "Exit"));
  Run.Feed(Progress(ptInitStart, "TMathTest", "Init"));
  Run.Feed(Progress(ptInitFinish, "TMathTest", "Init"));
  Run.Feed(Progress(ptMethodStart, "TMathTest", "TestModulo"));
  Run.Feed(TExceptionMessage("Nightly", "TMathTest", "TestModulo", "Modulo by zero"));
  Run.Feed(Progress(ptMethodFinish, "TMathTest", "TestModulo"));
  Run.Feed(Progress(ptExitStart, "TMathTest", "Exit"));
  Run.Feed(Progress(ptExitFinish, "TMathTest", "Exit"));
  Run.Feed(Progress(ptUnitTestFinish, "TMathTest"));
  Run.Feed(Progress(ptScenarioFinish));

  EXPECT_EQ(Run.LogLines, WorkedExampleLog());
  EXPECT_EQ(Run.ErrorLines, WorkedExampleErrors);
  EXPECT_EQ(Run.Log.Indent(), -1);
}

TEST(LogFormatter, IndentIsTwoSpacesPerDepthAndNoneWhileNegative) {
  TLogFormatter Log(Slashes, SequenceClock({Begin}));
  std::string Text;
  EXPECT_EQ(Log.GetIndent(), "");
  Log.Format(Progress(ptScenarioStart), Text);
  EXPECT_EQ(Log.GetIndent(), "  ");
  Log.Format(Progress(ptUnitTestStart, "T"), Text);
  EXPECT_EQ(Log.GetIndent(), "    ");
  Log.Format(Progress(ptMethodStart, "T", "M"), Text);
  EXPECT_EQ(Log.GetIndent(), "      ");
  EXPECT_EQ(Log.Indent(), 2);
}

TEST(LogFormatter, UnmatchedEndDrivesTheDepthNegativeWithoutIndentation) {
  TLogFormatter Log(Slashes, SequenceClock({Begin}));
  std::string Text;
  Log.Format(TReportMessage("outside"), Text);
  EXPECT_EQ(Text, "REPORT outside");

  Log.Format(Progress(ptUnitTestFinish, "TMathTest"), Text);
  EXPECT_EQ(Text, "END TMathTest");
  EXPECT_EQ(Log.Indent(), -2);

  // A BEGIN raises the depth by one only, so it stays negative.
  Log.Format(Progress(ptMethodStart, "TMathTest", "TestAdd"), Text);
  EXPECT_EQ(Text, "BEGIN TestAdd");
  EXPECT_EQ(Log.Indent(), -1);
  Log.Format(TCheckMessage("held"), Text);
  EXPECT_EQ(Text, "SUCCESS held");

  Log.Format(Progress(ptMethodStart, "TMathTest", "TestSub"), Text);
  Log.Format(TExceptionMessage("S", "TMathTest", "TestSub", "boom"), Text);
  EXPECT_EQ(Text, "  EXCEPTION TMathTest.TestSub (boom)");
}

TEST(LogFormatter, FixturePhasesAndUnknownMessagesGiveNoLineAndKeepTheDepth) {
  TLogFormatter Log(Slashes, SequenceClock({Begin}));
  std::string Text;
  Log.Format(Progress(ptScenarioStart), Text);
  Log.Format(Progress(ptUnitTestStart, "T"), Text);
  const TProgressType Phases[] = {ptInitStart, ptInitFinish, ptExitStart, ptExitFinish};
  for (TProgressType Phase : Phases) {
    Text = "left over";
    Log.Format(Progress(Phase, "T", Phase <= ptInitFinish ? "Init" : "Exit"), Text);
    EXPECT_EQ(Text, "") << "phase " << int(Phase);
    EXPECT_EQ(Log.Indent(), 1);
  }
  Text = "left over";
  Log.Format(TUnknownMessage(), Text);
  EXPECT_EQ(Text, "");
  Log.Format(Progress(static_cast<TProgressType>(42), "T", "M"), Text);
  EXPECT_EQ(Text, "");
  EXPECT_EQ(Log.Indent(), 1);
}

TEST(LogFormatter, EmptyTextsKeepTheTrailingSpace) {
  TLogFormatter Log(Slashes, SequenceClock({Begin}));
  std::string Text;
  Log.Format(TCheckMessage(""), Text);
  EXPECT_EQ(Text, "SUCCESS ");
  Log.Format(TCheckMessage("", "S", "T", "M"), Text);
  EXPECT_EQ(Text, "FAILURE ");
  Log.Format(TReportMessage(""), Text);
  EXPECT_EQ(Text, "REPORT ");
  Log.Format(TExceptionMessage("S", "T", "M", ""), Text);
  EXPECT_EQ(Text, "EXCEPTION T.M ()");
}

TEST(LogFormatter, ScenarioLinesUseALiteralDashAndTheTimeSeparator) {
  TLogFormatter Log(TFormatSettings{'.', '.'}, SequenceClock({TDateTime{987, 2, 1, 4, 5, 9}}));
  std::string Text;
  Log.Format(Progress(ptScenarioStart), Text);
  EXPECT_EQ(Text, "BEGIN Nightly (01-02-0987 04.05.09)");
  Log.Format(Progress(ptScenarioFinish), Text);
  EXPECT_EQ(Text, "END Nightly (01-02-0987 04.05.09)");
}

TEST(ErrorFormatter, OnlyFailedChecksAndExceptionsGiveLines) {
  TErrorFormatter Error;
  std::string Text = "left over";
  Error.Format(TCheckMessage("held"), Text);
  EXPECT_EQ(Text, "");
  Text = "left over";
  Error.Format(TReportMessage("said"), Text);
  EXPECT_EQ(Text, "");
  Error.Format(Progress(ptMethodStart, "T", "M"), Text);
  EXPECT_EQ(Text, "");
  Error.Format(TUnknownMessage(), Text);
  EXPECT_EQ(Text, "");

  Error.Format(TCheckMessage("", "S", "TMathTest", "TestAdd"), Text);
  EXPECT_EQ(Text, "FAILURE (TMathTest.TestAdd) ");
  Error.Format(TExceptionMessage("S", "TMathTest", "Init", "no database"), Text);
  EXPECT_EQ(Text, "EXCEPTION (TMathTest.Init) no database");
}

TEST(SummaryFormatter, NilScenarioIsRefused) {
  try {
    TSummaryFormatter Formatter(nullptr);
    FAIL() << "no error raised";
  } catch (const Exception& Error) {
    EXPECT_STREQ(Error.what(), "TestScenario not assigned");
  }
}

const std::vector<std::string> Banner(const std::string& aDateTime) {
  return {"",
          "===============================================",
          "Kalvoro Console Summary",
          "Report Date/Time:  " + aDateTime,
          "===============================================",
          ""};
}

TEST(SummaryFormatter, ScenarioWithoutUnitTestsGivesBannerAndZeroTotals) {
  TTestScenario Scenario("Empty");
  Scenario.Run();
  TSummaryFormatter Formatter(&Scenario, Slashes, SequenceClock({End}));
  std::vector<std::string> Expected = Banner("07/12/2026 03:45:23");
  const std::vector<std::string> Totals = {"",
                                           "Summary",
                                           "=======",
                                           "Total number of UnitTest Methods = 0",
                                           "# Skipped    = 0",
                                           "# Success    = 0",
                                           "# Failures   = 0",
                                           "# Exceptions = 0"};
  Expected.insert(Expected.end(), Totals.begin(), Totals.end());
  EXPECT_EQ(Formatter.Format(), Expected);
}

TEST(SummaryFormatter, FormatTwiceRebuildsTheReportWithTheNewTime) {
  TSampleScenario Sample;
  Sample.Scenario.Run();
  TSummaryFormatter Formatter(&Sample.Scenario, TFormatSettings{'.', '-'},
                              SequenceClock({Begin, End}));
  const std::vector<std::string> First = Formatter.Format();
  const std::vector<std::string>& Second = Formatter.Format();
  ASSERT_EQ(First.size(), 18u);
  ASSERT_EQ(Second.size(), First.size());
  EXPECT_EQ(First[3], "Report Date/Time:  07.12.2026 03-45-22");
  EXPECT_EQ(Second[3], "Report Date/Time:  07.12.2026 03-45-23");
  for (std::size_t I = 4; I < First.size(); ++I)
    EXPECT_EQ(First[I], Second[I]);
  EXPECT_EQ(&Second, &Formatter.Lines());
}

// A report that a test's thread makes for a unit test whose method is not
// running is dropped, and the summary ends with how many were.
TEST(SummaryFormatter, DroppedThreadMessagesGiveALine) {
  struct TLateReporter {
    TUnitTestBase* Idle;
    bool Done = false;
    void Handle(TMessageEventList*, const TCustomMessage& aMessage) {
      if (Done || aMessage.GetId() != MessageIdProgress)
        return;
      Done = true;
      std::thread([this] { Idle->Report("late"); }).join();
    }
  };
  TSampleScenario Sample;
  TLateReporter Late{&Sample.File};
  Sample.Scenario.AddStateNotificationHandler(MakeMessageEvent<&TLateReporter::Handle>(&Late));
  Sample.Scenario.Run();
  TSummaryFormatter Formatter(&Sample.Scenario, Slashes, SequenceClock({End}));
  EXPECT_EQ(Formatter.Format().back(),
            "# Dropped    = 1 (checks and reports from a test's threads after their method ended)");
}

TEST(FormatSettings, SeparatorIsTakenFromThePattern) {
  EXPECT_EQ(SeparatorOfPattern("%d.%m.%Y", '/'), '.');
  EXPECT_EQ(SeparatorOfPattern("%m/%d/%y", '?'), '/');
  EXPECT_EQ(SeparatorOfPattern("%Y-%m-%d", '/'), '-');
  EXPECT_EQ(SeparatorOfPattern("%H.%M.%S", ':'), '.');
  EXPECT_EQ(SeparatorOfPattern("%T", '.'), ':');
  EXPECT_EQ(SeparatorOfPattern("%D", '.'), '/');
  EXPECT_EQ(SeparatorOfPattern("%F", '.'), '-');
  EXPECT_EQ(SeparatorOfPattern("%Ey.%m", '/'), '.');
  // No usable separator: the default stays.
  EXPECT_EQ(SeparatorOfPattern("", '/'), '/');
  EXPECT_EQ(SeparatorOfPattern("%Y%m%d", '/'), '/');
  EXPECT_EQ(SeparatorOfPattern("%Y\xE5\xB9\xB4%m\xE6\x9C\x88", '/'), '/');
  EXPECT_EQ(SeparatorOfPattern("%", ':'), ':');
}

TEST(FormatSettings, ThePlainLocaleGivesTheDefaults) {
  const TFormatSettings Settings = LocaleFormatSettings(); // the program never called setlocale
  EXPECT_EQ(Settings.DateSeparator, '/');
  EXPECT_EQ(Settings.TimeSeparator, ':');

  const TFormatSettings Saved = GetDefaultFormatSettings();
  SetDefaultFormatSettings(TFormatSettings{'.', 'h'});
  TLogFormatter Log; // the real clock: only the separators are known
  std::string Text;
  Log.Format(Progress(ptScenarioStart), Text);
  SetDefaultFormatSettings(Saved);
  // "BEGIN Nightly (dd-mm-yyyy hhhnnhss)"
  ASSERT_EQ(Text.size(), 35u) << Text;
  EXPECT_EQ(Text[17], '-');
  EXPECT_EQ(Text[28], 'h');
  EXPECT_EQ(Text[31], 'h');
}

} // namespace
} // namespace ReportingTest

// The runner loads the user's locale only when the environment names another
// than the C locale, whose separators are the defaults.
TEST(FormatSettings, TheEnvironmentNamesTheLocaleAsSetlocaleReadsIt) {
  struct TSaved {
    const char* Name;
    std::optional<std::string> Value;
  };
  std::vector<TSaved> Saved;
  for (const char* Name : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* Value = std::getenv(Name);
    Saved.push_back({Name, Value ? std::optional<std::string>(Value) : std::nullopt});
    unsetenv(Name);
  }
  EXPECT_EQ(Kalvoro::EnvironmentTimeLocale(), "C");
  setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(Kalvoro::EnvironmentTimeLocale(), "de_DE.UTF-8");
  setenv("LC_TIME", "fr_FR", 1);
  EXPECT_EQ(Kalvoro::EnvironmentTimeLocale(), "fr_FR");
  setenv("LC_ALL", "", 1); // set but empty: passed over
  EXPECT_EQ(Kalvoro::EnvironmentTimeLocale(), "fr_FR");
  setenv("LC_ALL", "POSIX", 1);
  EXPECT_EQ(Kalvoro::EnvironmentTimeLocale(), "POSIX");
  for (const TSaved& Variable : Saved) {
    if (Variable.Value)
      setenv(Variable.Name, Variable.Value->c_str(), 1);
    else
      unsetenv(Variable.Name);
  }

  for (const char* Name : {"C", "POSIX", "C.UTF-8", "C.utf8"})
    EXPECT_TRUE(Kalvoro::IsCLocaleName(Name)) << Name;
  for (const char* Name : {"", "c", "C.ISO-8859-1", "en_US.UTF-8", "de_DE"})
    EXPECT_FALSE(Kalvoro::IsCLocaleName(Name)) << Name;
}
