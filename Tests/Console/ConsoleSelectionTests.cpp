// The console runner's selection: --filter, --shard and the test engines'
// environment, --repeat, --until-failure, --shuffle and --seed.
#include "ConsoleTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace ConsoleTest;

namespace {

// Sets environment variables for its lifetime.
class TEnvironment {
public:
  explicit TEnvironment(std::vector<std::pair<std::string, std::string>> aValues)
      : FValues(std::move(aValues)) {
    for (const auto& [Name, Value] : FValues)
      setenv(Name.c_str(), Value.c_str(), 1);
  }
  ~TEnvironment() {
    for (const auto& Value : FValues)
      unsetenv(Value.first.c_str());
  }
  TEnvironment(const TEnvironment&) = delete;
  TEnvironment& operator=(const TEnvironment&) = delete;

private:
  std::vector<std::pair<std::string, std::string>> FValues;
};

std::size_t Occurrences(const std::string& aText, const std::string& aPart) {
  std::size_t Count = 0;
  for (std::size_t At = aText.find(aPart); At != std::string::npos; At = aText.find(aPart, At + 1))
    ++Count;
  return Count;
}

// The log's method lines ("    BEGIN TestAdd" ...) in the order they ran.
std::vector<std::string> MethodOrder(const fs::path& aLog) {
  std::vector<std::string> Result;
  for (std::string Line : Lines(ReadFile(aLog))) {
    Line.pop_back(); // the CR of CR LF
    if (Line.rfind("  BEGIN ", 0) == 0 || Line.rfind("    BEGIN ", 0) == 0)
      Result.push_back(Line);
  }
  return Result;
}

} // namespace

TEST(ConsoleSelection, AFilterRunsOnlyWhatMatchesTheRestIsSkipped) {
  TScratchDir Dir;
  const fs::path JUnit = Dir.Path() / "junit.xml";
  const TRun Add =
      Runner({"run", DemoModule, "--filter", "TMathTest.TestAdd", "--junit", JUnit.string()});
  // TBrokenInitTest's Init raises whenever it runs: here it does not.
  EXPECT_EQ(Add.Code, ExitSuccess) << Add.Out << Add.Err;
  EXPECT_EQ(Add.Out.find("EXCEPTION"), std::string::npos);
  EXPECT_NE(Add.Out.find("SUCCESS   TMathTest.TestAdd"), std::string::npos);
  EXPECT_NE(Add.Out.find("SKIPPED   TMathTest.TestDivide"), std::string::npos);
  EXPECT_NE(Add.Out.find("# Skipped    = 8"), std::string::npos);
  const std::string Xml = ReadFile(JUnit);
  EXPECT_NE(Xml.find("skipped=\"8\""), std::string::npos);
  EXPECT_NE(Xml.find("<testcase name=\"TestNeverRuns\" classname=\"TBrokenInitTest\" "
                     "time=\"0.000000\">\n      <skipped/>"),
            std::string::npos)
      << Xml;

  // An exact name, lists and a negative part.
  const TRun Init = Runner({"run", DemoModule, "--filter", "TBrokenInitTest.TestNeverRuns"});
  EXPECT_EQ(Init.Code, ExitTestsFailed);
  EXPECT_NE(Init.Out.find("EXCEPTION (TBrokenInitTest.Init) database not reachable"),
            std::string::npos);
  const TRun Some =
      Runner({"run", DemoModule, "--filter", "TStack*:TCrash*-*.TestNullPointer:*Pop"});
  EXPECT_EQ(Some.Code, ExitSuccess) << Some.Out;
  EXPECT_NE(Some.Out.find("# Success    = 2"), std::string::npos) << Some.Out;

  const TRun None = Runner({"run", DemoModule, "--filter", "TMath.*"});
  EXPECT_EQ(None.Code, ExitSuccess);
  EXPECT_EQ(None.Err, "kalvoro: The filter \"TMath.*\" matches no test method.\n");
}

TEST(ConsoleSelection, BadShardsRepeatsAndSeedsAreUsageErrorsAndHelpNamesEveryOption) {
  for (const std::vector<std::string>& Arguments :
       {std::vector<std::string>{"run", DemoModule, "--shard", "2/2"},
        {"run", DemoModule, "--shard", "1/0"},
        {"run", DemoModule, "--shard", "one/two"},
        {"run", DemoModule, "--shard"},
        {"run", DemoModule, "--repeat", "0"},
        {"run", DemoModule, "--repeat", "2x"},
        {"run", DemoModule, "--seed", "-1"},
        {"run", DemoModule, "--filter"}}) {
    const TRun Result = Runner(Arguments);
    EXPECT_EQ(Result.Code, ExitUsageOrLoad) << ::testing::PrintToString(Arguments);
    EXPECT_EQ(Result.Err.rfind("kalvoro: option --", 0), 0u) << Result.Err;
    EXPECT_TRUE(Result.Out.empty());
  }
  const std::string Help = Runner({"--help"}).Out;
  for (const char* Option :
       {"--filter PATTERN", "--shard INDEX/COUNT", "--repeat N", "--until-failure", "--shuffle",
        "--seed S", "TEST_SHARD_STATUS_FILE", "XML_OUTPUT_FILE", "TEST_TOTAL_SHARDS"})
    EXPECT_NE(Help.find(Option), std::string::npos) << Option;

  const TEnvironment Shards({{"TEST_TOTAL_SHARDS", "2"}, {"TEST_SHARD_INDEX", "2"}});
  const TRun Bad = Runner({"run", DemoModule});
  EXPECT_EQ(Bad.Code, ExitUsageOrLoad);
  EXPECT_NE(Bad.Err.find("TEST_SHARD_INDEX=\"2\""), std::string::npos) << Bad.Err;
  // The option wins over the environment.
  EXPECT_EQ(Runner({"run", DemoModule, "--shard", "0/2"}).Code, ExitTestsFailed);
}

TEST(ConsoleSelection, ShardsFromTheEnvironmentWriteTheEnginesFiles) {
  TScratchDir Dir;
  const fs::path Status = Dir.Path() / "status";
  const fs::path Xml = Dir.Path() / "shard.xml";
  std::string Together;
  for (int Index = 0; Index < 2; ++Index) {
    const TEnvironment Engine({{"TEST_TOTAL_SHARDS", "2"},
                               {"TEST_SHARD_INDEX", std::to_string(Index)},
                               {"TEST_SHARD_STATUS_FILE", Status.string()},
                               {"XML_OUTPUT_FILE", Xml.string()}});
    const TRun Shard = Runner({"run", DemoModule});
    EXPECT_TRUE(fs::exists(Status));
    const std::string Report = ReadFile(Xml);
    const std::string Counts = Index == 0 ? "tests=\"9\" failures=\"0\" errors=\"2\" skipped=\"4\""
                                          : "tests=\"9\" failures=\"1\" errors=\"2\" skipped=\"5\"";
    EXPECT_NE(Report.find(Counts), std::string::npos) << Report;
    // The option gives the same shard; --junit takes the report elsewhere.
    const fs::path Own = Dir.Path() / "own.xml";
    fs::remove(Xml);
    const TRun Flag = Runner(
        {"run", DemoModule, "--shard", std::to_string(Index) + "/2", "--junit", Own.string()});
    EXPECT_FALSE(fs::exists(Xml));
    EXPECT_NE(ReadFile(Own).find(Counts), std::string::npos);
    EXPECT_EQ(Lines(Flag.Out)[0], Lines(Shard.Out)[0]);
    Together += Shard.Out;
  }
  // Each method succeeds in exactly one of the two shards' summaries.
  for (const char* Method : {"TMathTest.TestAdd", "TStackTest.TestPush", "TStackTest.TestPop",
                             "TCrashTest.TestAfterCrash"})
    EXPECT_EQ(Occurrences(Together, std::string("SUCCESS   ") + Method), 1u) << Method;
}

TEST(ConsoleSelection, RepeatsShuffledOrdersAndStopsAtTheFirstFailure) {
  TScratchDir Dir;
  const fs::path Log = Dir.Path() / "log.txt";
  const fs::path JUnit = Dir.Path() / "junit.xml";
  const TRun Three = Runner({"run", DemoModule, "--repeat", "3", "--seed", "5", "--log",
                             Log.string(), "--junit", JUnit.string()});
  EXPECT_EQ(Three.Code, ExitTestsFailed);
  for (const char* Line : {"Run 1 of 3\n", "Run 3 of 3\n", "repeat this order with --seed 5\n",
                           "repeat this order with --seed 7\n"})
    EXPECT_NE(Three.Out.find(Line), std::string::npos) << Line;
  EXPECT_EQ(Occurrences(Three.Out, "Kalvoro Console Summary"), 3u);
  // Every run is in the files; each method ran once per run.
  const std::vector<std::string> Order = MethodOrder(Log);
  // Six unit tests (one without methods: shuffling does not leave it out),
  // nine methods, one of which never begins (its Init raises).
  EXPECT_EQ(Order.size(), 3u * (6 + 8));
  EXPECT_EQ(std::count(Order.begin(), Order.end(), "    BEGIN TestAdd"), 3);
  const std::string Xml = ReadFile(JUnit);
  EXPECT_NE(Xml.find("<testsuites tests=\"27\""), std::string::npos);
  EXPECT_NE(Xml.find("name=\"run 3/Default Scenario/TMathTest\""), std::string::npos);

  // The printed number gives each run's order back.
  const fs::path Again = Dir.Path() / "again.txt";
  Runner({"run", DemoModule, "--seed", "6", "--log", Again.string()});
  const std::vector<std::string> Second(Order.begin() + 14, Order.begin() + 28);
  EXPECT_EQ(MethodOrder(Again), Second);
  EXPECT_NE(Second, std::vector<std::string>(Order.begin(), Order.begin() + 14));

  const TRun Until = Runner({"run", DemoModule, "--until-failure", "--repeat", "5"});
  EXPECT_EQ(Until.Code, ExitTestsFailed);
  EXPECT_NE(Until.Out.find("Run 1 of 5"), std::string::npos);
  EXPECT_EQ(Until.Out.find("Run 2 of 5"), std::string::npos);
  const TRun Unbounded = Runner({"run", DemoModule, "--until-failure"});
  EXPECT_EQ(Unbounded.Code, ExitTestsFailed);
  EXPECT_EQ(Lines(Unbounded.Out)[0], "Run 1");
  EXPECT_EQ(Unbounded.Out.find("Run 2"), std::string::npos);
  const TRun Passing =
      Runner({"run", DemoModule, "--filter", "TMathTest.TestAdd", "--repeat", "2", "--shuffle"});
  EXPECT_EQ(Passing.Code, ExitSuccess);
  EXPECT_EQ(Occurrences(Passing.Out, "# Success    = 1"), 2u);
}

// A name whose bytes are not UTF-8 is listed escaped as control characters
// are ("\xff"), so that the listing is valid UTF-8, and the filter selects
// it by that form: exactly, by a glob, or in the negative part.
TEST(ConsoleSelection, ANameThatIsNotUtf8IsListedEscapedAndFilteredInThatForm) {
  const std::string Names = std::string(KALVORO_TEST_MODULES_DIR) + "/Names.so";
  const TRun Listed = Runner({"list", Names});
  EXPECT_EQ(Listed.Code, ExitSuccess) << Listed.Err;
  EXPECT_NE(Listed.Out.find("\n    \"Bad\\xff\\xc3(\"\n"), std::string::npos) << Listed.Out;
  EXPECT_EQ(Listed.Out.find('\xff'), std::string::npos);
  EXPECT_EQ(Listed.Out.find("\xc3("), std::string::npos);

  const std::pair<std::string, std::string> Cases[] = {
      {"TOdd.\"Bad\\xff\\xc3(\"", "# Success    = 1"},
      {"TOdd.*\\xff*", "# Success    = 1"},
      {"TOdd.\"Bad\xff\xc3(\"", "# Success    = 0"}, // the raw bytes between quotes: no name
      {"TOdd.Bad\xff\xc3(", "# Success    = 1"},     // the name as it is
      {"TOdd.*-*\\xff*", "# Success    = 4"}};
  for (const auto& [Filter, Successes] : Cases) {
    const TRun Run = Runner({"run", Names, "--no-progress", "--filter", Filter});
    EXPECT_NE(Run.Out.find(Successes + "\n"), std::string::npos) << Filter << '\n' << Run.Out;
  }
}
