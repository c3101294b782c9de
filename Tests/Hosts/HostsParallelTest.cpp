// Every test module and example run by the real program with several jobs
// against one job, in list order and shuffled and repeated: the log, the
// error list, the summary, JUnit and the terminal's lines are the serial
// run's, dates, times and durations masked, and so is the exit code. The
// fault modules' reports hold what their faults print (addresses, process
// numbers), so for them every method's result is compared instead.
#include "HostsTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <sstream>
#include <stdlib.h>

using namespace HostsTest;

namespace {

std::string Masked(const std::string& aText) {
  static const std::regex Varying(
      R"(\d{2}[-/.]\d{2}[-/.]\d{4}|\d{2}:\d{2}:\d{2}|time="[0-9.]*"|timestamp="[^"]*")");
  return std::regex_replace(aText, Varying, "#");
}

// Each method of a JUnit report with how it ended: "Suite.Method=error".
std::vector<std::string> Results(const std::string& aJUnit) {
  static const std::regex Case(
      R"re(<testcase name="([^"]*)" classname="([^"]*)"[^>]*?(/>|>\s*<(\w+)))re");
  std::vector<std::string> Result;
  for (auto It = std::sregex_iterator(aJUnit.begin(), aJUnit.end(), Case);
       It != std::sregex_iterator(); ++It)
    Result.push_back((*It)[2].str() + "." + (*It)[1].str() + "=" +
                     ((*It)[4].matched ? (*It)[4].str() : "ok"));
  return Result;
}

std::vector<fs::path> Targets() {
  std::vector<fs::path> Result;
  for (const fs::path& Folder :
       {fs::path(KALVORO_TEST_MODULES_DIR), fs::path(KALVORO_EXAMPLES_DIR)})
    for (const fs::directory_entry& Entry : fs::directory_iterator(Folder)) {
      const std::string Extension = Entry.path().extension().string();
      // Those built with a sanitizer have a test of their own.
      if (Entry.is_regular_file() && Entry.path().filename().string().rfind("Sanitized", 0) != 0 &&
          (Extension == ".so" || Extension == ".kvr"))
        Result.push_back(Entry.path());
    }
  std::sort(Result.begin(), Result.end());
  return Result;
}

bool IsFaultModule(const std::string& aName) {
  static const char* const Faults[] = {"Fault", "Sanitized", "Crashes",
                                       "Exits", "Hangs",     "Signals"};
  return std::any_of(std::begin(Faults), std::end(Faults),
                     [&](const char* aPrefix) { return aName.rfind(aPrefix, 0) == 0; });
}

} // namespace

TEST(HostsInParallel, EveryModuleWritesTheSerialRunsReports) {
  // Modules with methods that hang run with a time limit.
  const std::map<std::string, std::vector<std::string>> Extra = {
      {"Hangs.so", {"--timeout", "0.5"}},
      {"Signals.so", {"--timeout", "0.5"}},
      {"Demo.kvr", {"--no-files"}},
      // Unit tests kept apart change when they run, not what is written.
      {"Demo.so", {"--serial", "TStack*.*:TMath*.*"}},
  };
  const std::vector<std::vector<std::string>> Orders = {
      {}, {"--shuffle", "--seed", "7", "--repeat", "2"}};
  const std::vector<fs::path> Modules = Targets();
  ASSERT_GE(Modules.size(), 20u);
  TScratch Scratch;
  std::size_t Compared = 0;
  for (const fs::path& Module : Modules) {
    const std::string Name = Module.filename().string();
    // Its unit tests share a thread that one starts and the next meets.
    if (Name == "LateThreadMessages.so")
      continue;
    const bool Fault = IsFaultModule(Name);
    const auto Given = Extra.find(Name);
    // A fault module runs in list order, with a time limit for its hangs.
    for (const std::vector<std::string>& Order : Orders) {
      if (Fault && !Order.empty())
        continue;
      std::vector<std::string> Arguments = Given != Extra.end() ? Given->second
                                           : Fault ? std::vector<std::string>{"--timeout", "1"}
                                                   : std::vector<std::string>();
      Arguments.insert(Arguments.end(), Order.begin(), Order.end());
      Arguments.push_back("-j");
      Arguments.push_back("1");
      const TRun Serial = RunRunner(Module.string(), Arguments, Scratch.Path(), Name + ".j1");
      for (const char* Jobs : {"2", "4"}) {
        SCOPED_TRACE(Name + " -j " + Jobs + (Order.empty() ? "" : " shuffled, repeated"));
        Arguments.back() = Jobs;
        const TRun Parallel =
            RunRunner(Module.string(), Arguments, Scratch.Path(), Name + ".j" + Jobs);
        EXPECT_EQ(Parallel.Code, Serial.Code) << Parallel.Err;
        EXPECT_EQ(Results(Parallel.JUnit), Results(Serial.JUnit));
        if (Fault)
          continue;
        ++Compared;
        EXPECT_EQ(Masked(Parallel.Log), Masked(Serial.Log));
        EXPECT_EQ(Masked(Parallel.Errors), Masked(Serial.Errors));
        EXPECT_EQ(Masked(Parallel.Summary), Masked(Serial.Summary));
        EXPECT_EQ(Masked(Parallel.JUnit), Masked(Serial.JUnit));
        EXPECT_EQ(Masked(Parallel.Out), Masked(Serial.Out));
      }
    }
  }
  EXPECT_GE(Compared, 40u);
}

// A unit test that --serial names starts when every earlier one is done, and
// none starts beside it: what its methods mark in a file comes as one block,
// after the earlier ones' ends and before any later one's beginning.
TEST(HostsInParallel, AUnitTestNamedSerialRunsWithNoneBesideIt) {
  TScratch Scratch;
  const fs::path Marks = fs::path(Scratch.Path()) / "marks";
  setenv("KALVORO_MARKS", Marks.c_str(), 1);
  const TRun Run = RunRunner(std::string(KALVORO_TEST_MODULES_DIR) + "/SerialMarks.so",
                             {"-j", "3", "--serial", "TMarks2.*"}, Scratch.Path(), "serial");
  unsetenv("KALVORO_MARKS");
  EXPECT_EQ(Run.Code, 0) << Run.Err;
  std::vector<std::string> Lines;
  std::istringstream Text(ReadFile(Marks));
  for (std::string Line; std::getline(Text, Line);)
    Lines.push_back(Line);
  ASSERT_EQ(Lines.size(), 16u);
  const auto Serial = [](const std::string& aLine) {
    return aLine.find(" TMarks2.") != std::string::npos;
  };
  const auto First = std::find_if(Lines.begin(), Lines.end(), Serial);
  const auto Last = std::find_if(Lines.rbegin(), Lines.rend(), Serial).base();
  EXPECT_EQ(std::count_if(First, Last, Serial), 4) << "nothing between its marks";
  // Before it: TMarks1's four marks (all ended); after it: the rest.
  EXPECT_EQ(First - Lines.begin(), 4);
  for (auto Line = Lines.begin(); Line != First; ++Line)
    EXPECT_NE(Line->find(" TMarks1."), std::string::npos) << *Line;
}
