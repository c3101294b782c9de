// Names in project files: assignment lines whose scenario name holds '|',
// unit-test names that cannot be assigned, and long names cut at 255 bytes.
#include "Project.h"

#include "ProjectTestSupport.h"

#include <gtest/gtest.h>

using namespace Kalvoro;
using namespace KalvoroTest;

namespace {

const std::string NamesModule = std::string(KALVORO_TEST_MODULES_DIR) + "/Names.so";
const std::string NamesReversedModule = std::string(KALVORO_TEST_MODULES_DIR) + "/NamesReversed.so";

// A file with the given scenarios and one loaded module with these lines.
std::string ProjectText(const std::vector<std::string>& aScenarios, const std::string& aModule,
                        const std::vector<std::string>& aLines) {
  std::string Text = Header("1", std::to_string(aScenarios.size())) + "[Scenarios]\n";
  for (std::size_t Index = 0; Index < aScenarios.size(); ++Index)
    Text += "Name" + std::to_string(Index) + "=" + aScenarios[Index] + "\n";
  Text += "[Modules]\nFile0=" + aModule +
          "\nLoad0=1\nAssignmentCount0=" + std::to_string(aLines.size()) + "\n[" + aModule + "]\n";
  for (std::size_t Index = 0; Index < aLines.size(); ++Index)
    Text += "Assign" + std::to_string(Index) + "=" + aLines[Index] + "\n";
  return Text;
}

// "SCENARIO ENABLED" or "SCENARIO DISABLED" of a unit test; "-" without one.
std::string Membership(const TUnitTestBase* aUnitTest) {
  if (aUnitTest == nullptr)
    return "missing";
  if (aUnitTest->TestScenario() == nullptr)
    return "-";
  return aUnitTest->TestScenario()->Name() + (aUnitTest->Enabled() ? " ENABLED" : " DISABLED");
}

// 254 letters and the first byte of "é": how a cut at 255 bytes left a name.
std::string SplitCut(char aLetter) {
  return std::string(254, aLetter) + "\xC3";
}

} // namespace

// The unit test is the first field, the state the last field that reads
// ENABLED or DISABLED, the scenario everything between; saving and reading
// again keeps the membership.
TEST(ProjectNamesTest, AScenarioNameWithBarsSurvivesItsAssignmentLine) {
  const std::vector<std::string> Scenarios = {"S", "Smoke | fast", "X|DISABLED", "|", ""};
  const struct {
    std::string Line;
    std::string Expected;
  } Cases[] = {
      {"TA|Smoke | fast|ENABLED", "Smoke | fast ENABLED"},
      {"TA|Smoke | fast|DISABLED", "Smoke | fast DISABLED"},
      {"TA|S|ENABLED|x", "S ENABLED"},
      {"TA|S|DISABLED|ENABLED|x", "-"},
      {"TA|X|DISABLED|ENABLED", "X|DISABLED ENABLED"},
      {"TA|||ENABLED", "| ENABLED"},
      {"TA||ENABLED", " ENABLED"},
      {"TA|S|DISABLED", "S DISABLED"},
      {"TA|S|enabled", "S DISABLED"},
      {"TA|S", "S DISABLED"},
      {"TA|S|", "S DISABLED"},
  };
  TScratchDir Dir;
  const std::string FileName = Dir.File("p.kvr");
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Line);
    WriteFile(FileName, ProjectText(Scenarios, WorkedExampleModule, {Case.Line, "TB|S|ENABLED"}));
    for (int Round = 0; Round < 2; ++Round) {
      TLoad Load = LoadFile(FileName);
      ASSERT_EQ(Load.Error, "");
      const TUnitTestList& UnitTests = Load.Project->Modules()[0]->UnitTestList();
      EXPECT_EQ(Membership(UnitTests.FindByName("TA")), Case.Expected) << "round " << Round;
      EXPECT_EQ(Membership(UnitTests.FindByName("TB")), "S ENABLED");
      Load.Project->SaveProject();
    }
  }
}

// A unit test whose name holds '|' is refused with a line in the report;
// long names are cut at a character boundary, and two that share their first
// 255 bytes are named apart by a mark made from the whole name, whatever the
// order of registration; assignments made before the cut was mended still
// find their unit test, or say why not.
TEST(ProjectNamesTest, EveryUnitTestKeepsANameOfItsOwn) {
  TScratchDir Dir;
  const std::string Module = Dir.File("Names.so");
  const std::string FileName = Dir.File("p.kvr");
  std::filesystem::copy_file(NamesModule, Module);
  std::string One, Two;
  {
    TModule Loaded(NamesModule);
    ASSERT_TRUE(Loaded.LoadModule());
    std::vector<std::string> Long;
    for (const TUnitTestBase* UnitTest : Loaded.UnitTestList())
      if (UnitTest->Name().size() > 200)
        Long.push_back(UnitTest->Name());
    ASSERT_EQ(Long.size(), 3u);
    One = Long[0];
    Two = Long[1];
    for (const std::string& Name : {One, Two}) {
      EXPECT_EQ(Name.size(), 255u) << Name;
      EXPECT_EQ(Name.substr(0, 246), std::string(246, 'L'));
      EXPECT_EQ(Name[246], '~');
    }
    EXPECT_NE(One, Two);
    EXPECT_EQ(Long[2], std::string(254, 'A'));
    EXPECT_EQ(Loaded.UnitTestList().FindByName(Long[2])->Methods().GetItem(0)->Name(),
              std::string(254, 'm'));
    EXPECT_EQ(Loaded.UnitTestList().Count(), 10);
    TModule Reversed(NamesReversedModule);
    ASSERT_TRUE(Reversed.LoadModule());
    EXPECT_EQ(Reversed.UnitTestList().Count(), 3);
    EXPECT_EQ(Reversed.UnitTestList().FindByName("TPipe|Name"), nullptr);
  }

  const struct {
    std::string Lines; // assignment lines, separated by '\n'
    std::string OneIn, TwoIn, AloneIn;
    std::string ReportLine;
  } Cases[] = {
      {One + "|S1|ENABLED\n" + Two + "|S2|DISABLED\n" + std::string(254, 'A') + "|S1|ENABLED",
       "S1 ENABLED", "S2 DISABLED", "S1 ENABLED", ""},
      // Saved by a version that cut inside "é".
      {SplitCut('A') + "|S2|ENABLED", "-", "-", "S2 ENABLED", ""},
      {SplitCut('L') + "|S2|ENABLED", "-", "-", "-",
       "* UnitTest \"" + std::string(254, 'L') +
           "\" names unit tests whose names share their first 255 characters; they are now "
           "named apart: \"" +
           One + "\", \"" + Two + "\".\r"},
  };
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Lines.substr(0, 20));
    std::vector<std::string> Lines;
    for (std::size_t Start = 0; Start <= Case.Lines.size();) {
      const std::size_t Stop = std::min(Case.Lines.find('\n', Start), Case.Lines.size());
      Lines.push_back(Case.Lines.substr(Start, Stop - Start));
      Start = Stop + 1;
    }
    std::filesystem::copy_file(NamesModule, Module,
                               std::filesystem::copy_options::overwrite_existing);
    WriteFile(FileName, ProjectText({"S1", "S2"}, Module, Lines));
    // Loaded, saved, then loaded from the module built with the opposite
    // order of registration: every unit test stays where it was.
    for (const std::string& Build : {NamesModule, NamesReversedModule}) {
      TLoad Load = LoadFile(FileName);
      ASSERT_EQ(Load.Error, "");
      const TUnitTestList& UnitTests = Load.Project->Modules()[0]->UnitTestList();
      EXPECT_EQ(Membership(UnitTests.FindByName(One)), Case.OneIn) << Build;
      EXPECT_EQ(Membership(UnitTests.FindByName(Two)), Case.TwoIn) << Build;
      EXPECT_EQ(Membership(UnitTests.FindByName(std::string(254, 'A'))), Case.AloneIn) << Build;
      if (Build == NamesModule)
        EXPECT_NE(Load.Report.find(Case.ReportLine), std::string::npos) << Load.Report;
      else
        EXPECT_NE(
            Load.Report.find("* UnitTest \"TPipe|Name\" is not loaded: a unit-test name may not "
                             "hold \"|\".\r"),
            std::string::npos)
            << Load.Report;
      Load.Project->SaveProject();
      Load.Project.reset();
      std::filesystem::copy_file(NamesReversedModule, Module,
                                 std::filesystem::copy_options::overwrite_existing);
    }
  }
}
