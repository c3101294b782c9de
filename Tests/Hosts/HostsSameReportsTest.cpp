// Every test module and example but the fault modules, run by the real
// program in hosts and in process: the log, the error list, the summary and
// JUnit are the same, dates, times and durations masked, and so is the exit
// code.
#include "HostsTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>

using namespace HostsTest;

namespace {

// Dates, times of day and JUnit's durations as "#".
std::string Masked(const std::string& aText) {
  static const std::regex Varying(
      R"(\d{2}[-/.]\d{2}[-/.]\d{4}|\d{2}:\d{2}:\d{2}|time="[0-9.]*"|timestamp="[^"]*")");
  return std::regex_replace(aText, Varying, "#");
}

// The modules and projects to compare: every module file of the tests and
// the examples but the fault modules, which no run in process survives, and
// those built with a sanitizer, which run in hosts only.
std::vector<fs::path> Targets() {
  std::vector<fs::path> Result;
  for (const fs::path& Folder :
       {fs::path(KALVORO_TEST_MODULES_DIR), fs::path(KALVORO_EXAMPLES_DIR)})
    for (const fs::directory_entry& Entry : fs::directory_iterator(Folder)) {
      const std::string Extension = Entry.path().extension().string();
      const std::string Name = Entry.path().filename().string();
      if (Entry.is_regular_file() && Name.rfind("Fault", 0) != 0 &&
          Name.rfind("Sanitized", 0) != 0 &&
          (Extension == ".so" || Extension == ".bpl" || Extension == ".kvr"))
        Result.push_back(Entry.path());
    }
  std::sort(Result.begin(), Result.end());
  return Result;
}

} // namespace

TEST(HostsAndInProcess, EveryModuleWritesTheSameReportsInBothWays) {
  // Modules with methods that hang run with the same time limit both ways.
  const std::map<std::string, std::vector<std::string>> Extra = {
      {"Hangs.so", {"--timeout", "0.2"}},
      {"Signals.so", {"--timeout", "0.1"}},
      {"Demo.kvr", {"--no-files"}},
  };
  const std::vector<fs::path> Modules = Targets();
  ASSERT_GE(Modules.size(), 20u);
  TScratch Scratch;
  std::size_t Compared = 0;
  for (const fs::path& Module : Modules) {
    SCOPED_TRACE(Module.string());
    const std::string Name = Module.filename().string();
    const auto Given = Extra.find(Name);
    std::vector<std::string> Arguments =
        Given == Extra.end() ? std::vector<std::string>() : Given->second;
    const TRun Hosts = RunRunner(Module.string(), Arguments, Scratch.Path(), Name + ".hosts");
    Arguments.push_back("--in-process");
    const TRun InProcess = RunRunner(Module.string(), Arguments, Scratch.Path(), Name + ".own");
    EXPECT_EQ(Hosts.Code, InProcess.Code) << Hosts.Err << "\n--- in process:\n" << InProcess.Err;
    // A module that loads has reports to compare.
    if (InProcess.Code != 2) {
      ++Compared;
      EXPECT_NE(InProcess.Summary.find("Total number of UnitTest Methods"), std::string::npos);
    }
    EXPECT_EQ(Masked(Hosts.Log), Masked(InProcess.Log));
    EXPECT_EQ(Masked(Hosts.Errors), Masked(InProcess.Errors));
    EXPECT_EQ(Masked(Hosts.Summary), Masked(InProcess.Summary));
    EXPECT_EQ(Masked(Hosts.JUnit), Masked(InProcess.JUnit));
  }
  EXPECT_GE(Compared, 15u);
}
