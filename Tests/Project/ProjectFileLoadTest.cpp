// Reading a project file: each error that stops it, the load report, the
// number rules, line ends, and OpenProject.
#include "Project.h"

#include "ProjectLoadOracle.h"
#include "ProjectTestSupport.h"

#include <gtest/gtest.h>

using namespace Kalvoro;
using namespace KalvoroTest;

namespace {

const char* const ErrorInvalidCounts = "Invalid file\rModuleCount or ScenarioCount not found";
const char* const ErrorFileInfo = "Invalid file\rFileInfo section is corrupt";
const char* const ErrorScenarios = "Failed to open project\rScenarios section is corrupt";
const char* const ErrorModules = "Failed to open project\rModule section is corrupt";

} // namespace

TEST(ProjectFileTest, Message1MissingFileLeavesTheProjectUntouchedAndModified) {
  TScratchDir Dir;
  for (const std::string& FileName : {Dir.File("missing.kvr"), Dir.Path().string()}) {
    TLoad Load = LoadFile(FileName);
    EXPECT_EQ(Load.Kind, "ELoadProject");
    EXPECT_EQ(Load.Error, "The file \"" + FileName + "\" does not exist");
    EXPECT_TRUE(Load.Project->Modified());
    EXPECT_EQ(Load.Project->Scenarios().Count(), 0);
    EXPECT_EQ(Load.Project->FileInfo().Page(pkLog).FileName, ExecutableDirectory() + "Log.txt");
  }
}

TEST(ProjectFileTest, Message2SignatureAndVersionMustBeExact) {
  TScratchDir Dir;
  const std::string FileName = Dir.File("p.kvr");
  const std::string Expected =
      "Cannot read the file \"" + FileName +
      "\"\rThe file is not a Kalvoro(.kvr) file or the version is not correct";
  for (const char* Text :
       {"[Project]\nSignature=Kalvoro\nFileVersion=1.1\n",
        "[Project]\nSignature=kalvoro\nFileVersion=1.0\n",
        "[Project]\nSignature=Kalvoro \nFileVersion=1.0\n", "[Project]\nFileVersion=1.0\n",
        "[Other]\nSignature=Kalvoro\nFileVersion=1.0\n", "", "just some text"}) {
    WriteFile(FileName, Text);
    TLoad Load = LoadFile(FileName);
    EXPECT_EQ(Load.Kind, "ELoadProject") << Text;
    EXPECT_EQ(Load.Error, Expected) << Text;
    EXPECT_FALSE(Load.Project->Modified());
  }
}

TEST(ProjectFileTest, Message3CountsMissingOrNotNumbers) {
  TScratchDir Dir;
  const std::string FileName = Dir.File("p.kvr");
  const std::string Start = "[project]\nSIGNATURE=Kalvoro\nfileversion=1.0\n";
  for (const std::string& Counts :
       {std::string("ScenarioCount=1\n"), std::string("ModuleCount=0\n"),
        std::string("ModuleCount=0\nScenarioCount=one\n"),
        std::string("ModuleCount=-1\nScenarioCount=1\n"),
        std::string("ModuleCount=0\nScenarioCount=99999999999\n")}) {
    WriteFile(FileName, Start + Counts);
    TLoad Load = LoadFile(FileName);
    EXPECT_EQ(Load.Kind, "ELoadProject") << Counts;
    EXPECT_EQ(Load.Error, ErrorInvalidCounts) << Counts;
    EXPECT_FALSE(Load.Project->Modified());
  }
}

TEST(ProjectFileTest, Message4EachFileInfoKeyIsRequired) {
  TScratchDir Dir;
  const std::string FileName = Dir.File("p.kvr");
  for (const char* Key : {"SummaryEnabled", "SummaryFileName", "LogEnabled", "LogFileName",
                          "ErrorEnabled", "ErrorFileName"}) {
    std::string Text = Header("0", "0");
    const std::size_t Line = Text.find(std::string("\n") + Key + "=");
    Text.erase(Line, Text.find('\n', Line + 1) - Line);
    WriteFile(FileName, Text);
    TLoad Load = LoadFile(FileName);
    EXPECT_EQ(Load.Kind, "ELoadProject") << Key;
    EXPECT_EQ(Load.Error, ErrorFileInfo) << Key;
    // The default scenario was made before the check and stays.
    EXPECT_EQ(ScenarioNames(*Load.Project), std::vector<std::string>{"Default Scenario"});
    EXPECT_EQ(Load.Project->FileInfo().Page(pkLog).FileName, ExecutableDirectory() + "Log.txt");
    EXPECT_FALSE(Load.Project->Modified());
  }
}

TEST(ProjectFileTest, Message5MissingScenarioNameKeepsWhatWasRead) {
  TScratchDir Dir;
  WriteFile(Dir.File("p.kvr"), Header("0", "3") + "[Scenarios]\nName0=First\nName2=Third\n");
  TLoad Load = LoadFile(Dir.File("p.kvr"));
  EXPECT_EQ(Load.Kind, "ELoadProject");
  EXPECT_EQ(Load.Error, ErrorScenarios);
  EXPECT_EQ(ScenarioNames(*Load.Project), std::vector<std::string>{"First"});
  EXPECT_EQ(Load.Project->FileInfo().Page(pkSummary).FileName, "/r/Summary.txt");
  EXPECT_FALSE(Load.Project->FileInfo().Page(pkLog).Enabled);
  EXPECT_FALSE(Load.Project->FileInfo().Page(pkErrors).Enabled);
  EXPECT_FALSE(Load.Project->Modified());
}

TEST(ProjectFileTest, Message6EachModuleKeyIsRequired) {
  TScratchDir Dir;
  const std::string FileName = Dir.File("p.kvr");
  for (const char* Missing : {"File1=/m/B.so\n", "Load1=0\n", "AssignmentCount1=0\n"}) {
    std::string Text = Header("2", "1") +
                       "[Scenarios]\nName0=S\n[Modules]\nFile0=/m/A.so\nLoad0=0\n"
                       "AssignmentCount0=1\nFile1=/m/B.so\nLoad1=0\nAssignmentCount1=0\n"
                       "[/m/A.so]\nAssign0=TA|S|ENABLED\n";
    Text.erase(Text.find(Missing), std::string_view(Missing).size());
    WriteFile(FileName, Text);
    TLoad Load = LoadFile(FileName);
    EXPECT_EQ(Load.Kind, "ELoadProject") << Missing;
    EXPECT_EQ(Load.Error, ErrorModules) << Missing;
    ASSERT_EQ(Load.Project->Modules().Count(), 1) << Missing;
    EXPECT_EQ(Load.Project->Modules()[0]->Assignments(), std::vector<std::string>{"TA|S|ENABLED"});
    EXPECT_FALSE(Load.Project->Modified());
  }
}

TEST(ProjectFileTest, Message7NamesTheModuleSection) {
  TScratchDir Dir;
  WriteFile(Dir.File("p.kvr"), Header("1", "1") +
                                   "[Scenarios]\nName0=S\n[Modules]\nFile0=/m/A b].so\nLoad0=1\n"
                                   "AssignmentCount0=3\n[/m/a B].SO]\nAssign0=TA|S|ENABLED\n"
                                   "Assign2=TB|S|ENABLED\n");
  TLoad Load = LoadFile(Dir.File("p.kvr"));
  EXPECT_EQ(Load.Kind, "ELoadProject");
  EXPECT_EQ(Load.Error, "Failed to open project\rSection \"/m/A b].so\" is corrupt");
  ASSERT_EQ(Load.Project->Modules().Count(), 1);
  // The module was added and not loaded: the refusal comes first.
  EXPECT_EQ(Load.Project->Modules()[0]->State(), msNotLoaded);
  EXPECT_EQ(Load.Project->Modules()[0]->Assignments(), std::vector<std::string>{"TA|S|ENABLED"});
  EXPECT_FALSE(Load.Project->Modified());
}

TEST(ProjectFileTest, Message8RepeatedScenarioName) {
  TScratchDir Dir;
  WriteFile(Dir.File("p.kvr"),
            Header("0", "4") + "[Scenarios]\nName0=Smoke\nName1=smoke\nName2=Smoke\nName3=X\n");
  TLoad Load = LoadFile(Dir.File("p.kvr"));
  EXPECT_EQ(Load.Kind, "Exception");
  EXPECT_EQ(Load.Error,
            "Cannot add this test scenario.\rA TestScenario with this name already exists");
  EXPECT_EQ(ScenarioNames(*Load.Project), (std::vector<std::string>{"Smoke", "smoke"}));
  EXPECT_FALSE(Load.Project->Modified());

  // The same check covers the scenario made for a count of 0 ... and names
  // that become equal when cut to 255 characters.
  WriteFile(Dir.File("p.kvr"), Header("0", "2") + "[Scenarios]\nName0=" + std::string(255, 'a') +
                                   "1\nName1=" + std::string(255, 'a') + "2\n");
  EXPECT_EQ(LoadFile(Dir.File("p.kvr")).Kind, "Exception");
}

TEST(ProjectFileTest, Message9ModuleThatFailsToLoad) {
  TScratchDir Dir;
  const std::string Missing = Dir.File("Missing.so");
  WriteFile(Dir.File("p.kvr"),
            Header("2", "1") + "[Scenarios]\nName0=S\n[Modules]\nFile0=" + WorkedExampleModule +
                "\nLoad0=1\nAssignmentCount0=1\nFile1=" + Missing +
                "\nLoad1=1\nAssignmentCount1=1\n[" + WorkedExampleModule +
                "]\nAssign0=TA|S|ENABLED\n[" + Missing + "]\nAssign0=TA|S|ENABLED\n");
  TLoad Load = LoadFile(Dir.File("p.kvr"));
  EXPECT_EQ(Load.Kind, "TModuleException");
  EXPECT_EQ(Load.Error, "Failed to load package or library \"" + Missing + "\"");
  ASSERT_EQ(Load.Project->Modules().Count(), 2);
  EXPECT_EQ(Load.Project->Modules()[0]->State(), msLoadSuccess);
  EXPECT_EQ(Load.Project->Modules()[0]->UnitTestList().FindByName("TA")->TestScenario(),
            Load.Project->Scenarios()[0]);
  EXPECT_EQ(Load.Project->Modules()[1]->State(), msLoadFailed);
  EXPECT_EQ(Load.Project->Modules()[1]->Assignments(), std::vector<std::string>{"TA|S|ENABLED"});
  EXPECT_FALSE(Load.Project->Modified());
}

TEST(ProjectFileTest, ReportCollectsEveryModuleThatDidNotFit) {
  TScratchDir Dir;
  WriteFile(Dir.File("p.kvr"),
            Header("3", "1") +
                "[Scenarios]\nName0=S\n[Modules]\n"
                "File0=" +
                WorkedExampleModule +
                "\nLoad0=1\nAssignmentCount0=1\n"
                "File1=" +
                DemoModule +
                "\nLoad1=1\nAssignmentCount1=6\n"
                "File2=/m/Unloaded.so\nLoad2=0\nAssignmentCount2=1\n"
                "[" +
                WorkedExampleModule + "]\nAssign0=TA|Gone|ENABLED\n[" + DemoModule +
                "]\nAssign0=TMathTest|S|ENABLED\nAssign1=TStackTest|S|ENABLED\n"
                "Assign2=TBrokenInitTest|S|ENABLED\nAssign3=TBrokenExitTest|S|ENABLED\n"
                "Assign4=TCrashTest|S|ENABLED\nAssign5=TNoMethodsTest|S|ENABLED\n"
                "[/m/Unloaded.so]\nAssign0=TX|Nowhere|ENABLED\n");
  TLoad Load = LoadFile(Dir.File("p.kvr"));
  ASSERT_EQ(Load.Error, "");
  EXPECT_FALSE(Load.Result);
  // Only the worked-example module reports; the demo module fitted.
  EXPECT_EQ(Load.Report,
            "The following error occurred when loading module \"ProjectWorkedExample.so\":\r"
            "* TestScenario \"Gone\" not found.\r"
            "* UnitTest \"TA\" is not assigned to a TestScenario.\r"
            "* UnitTest \"TB\" is not assigned to a TestScenario.\r");
  EXPECT_EQ(Load.Project->Scenarios()[0]->GetUnitTestCount(), 6);
  EXPECT_EQ(Load.Project->Modules()[2]->Assignments(),
            std::vector<std::string>{"TX|Nowhere|ENABLED"});
}

TEST(ProjectFileTest, CountsAndFlagsFollowTheIntegerRules) {
  TScratchDir Dir;
  const std::string FileName = Dir.File("p.kvr");

  // Hexadecimal counts; keys beyond the counts are ignored.
  WriteFile(FileName, Header(" 0x1", "$2") +
                          "[Scenarios]\nName0=A\nName1=B\nName2=C\n[Modules]\n"
                          "File0=/m/A.so\nLoad0=0\nAssignmentCount0=x1\n"
                          "File1=/m/B.so\nLoad1=0\nAssignmentCount1=0\n"
                          "[/m/A.so]\nAssign0=TA|A|ENABLED\nAssign1=TB|A|ENABLED\n");
  TLoad Load = LoadFile(FileName);
  ASSERT_EQ(Load.Error, "");
  EXPECT_TRUE(Load.Result);
  EXPECT_EQ(ScenarioNames(*Load.Project), (std::vector<std::string>{"A", "B"}));
  ASSERT_EQ(Load.Project->Modules().Count(), 1);
  EXPECT_EQ(Load.Project->Modules()[0]->Assignments(), std::vector<std::string>{"TA|A|ENABLED"});
  EXPECT_TRUE(Load.Project->FileInfo().Page(pkSummary).Enabled);
  EXPECT_FALSE(Load.Project->FileInfo().Page(pkErrors).Enabled);

  // A count of 0 makes the default scenario and reads no names; counts below
  // -1 read as no entries and make no default scenario.
  WriteFile(FileName, Header("-7", "0") + "[Scenarios]\nName0=Ignored\n");
  Load = LoadFile(FileName);
  EXPECT_TRUE(Load.Result);
  EXPECT_EQ(ScenarioNames(*Load.Project), std::vector<std::string>{"Default Scenario"});
  WriteFile(FileName, Header("0", "-2") + "[Scenarios]\nName0=Ignored\n");
  Load = LoadFile(FileName);
  EXPECT_TRUE(Load.Result);
  EXPECT_EQ(Load.Project->Scenarios().Count(), 0);

  // A line count that is not a number reads no line and raises nothing; a
  // load flag that is not a number keeps even a loadable module unloaded.
  WriteFile(FileName, Header("1", "1") + "[Scenarios]\nName0=S\n[Modules]\nFile0=" + DemoModule +
                          "\nLoad0=yes\nAssignmentCount0=many\n");
  Load = LoadFile(FileName);
  ASSERT_EQ(Load.Error, "");
  EXPECT_EQ(Load.Project->Modules()[0]->State(), msNotLoaded);
  EXPECT_TRUE(Load.Project->Modules()[0]->Assignments().empty());
}

TEST(ProjectFileTest, ReadsLfAndCrLfFilesAlike) {
  TScratchDir Dir;
  const std::string Text = Header("0", "2") + "[Scenarios]\nName0= A \nName1=B\"\n";
  WriteFile(Dir.File("lf.kvr"), Text);
  WriteFile(Dir.File("crlf.kvr"), CrLf(Text));
  const TLoad Lf = LoadFile(Dir.File("lf.kvr"));
  const TLoad CrLfLoad = LoadFile(Dir.File("crlf.kvr"));
  EXPECT_EQ(ScenarioNames(*Lf.Project), (std::vector<std::string>{" A ", "B\""}));
  EXPECT_EQ(KalvoroFuzz::DescribeProject(*Lf.Project),
            KalvoroFuzz::DescribeProject(*CrLfLoad.Project));
}

TEST(ProjectFileTest, OpenProjectGathersReportAndError) {
  TScratchDir Dir;
  TOpenProjectResult Missing = OpenProject(Dir.File("none.kvr"));
  ASSERT_NE(Missing.Project, nullptr);
  EXPECT_FALSE(Missing.Success);
  EXPECT_EQ(Missing.Error, "The file \"" + Dir.File("none.kvr") + "\" does not exist");
  EXPECT_EQ(Missing.Project->FileName(), Dir.File("none.kvr"));

  WriteFile(Dir.File("p.kvr"), Header("1", "1") + "[Scenarios]\nName0=S\n[Modules]\nFile0=" +
                                   WorkedExampleModule + "\nLoad0=1\nAssignmentCount0=0\n");
  TOpenProjectResult Opened = OpenProject(Dir.File("p.kvr"));
  EXPECT_FALSE(Opened.Success);
  EXPECT_EQ(Opened.Error, "");
  EXPECT_EQ(Opened.Report,
            "The following error occurred when loading module \"ProjectWorkedExample.so\":\r"
            "* UnitTest \"TA\" is not assigned to a TestScenario.\r"
            "* UnitTest \"TB\" is not assigned to a TestScenario.\r");
  EXPECT_EQ(Opened.Project->Modules()[0]->State(), msLoadSuccess);

  TOpenProjectResult Good = OpenProject(Dir.File("p.kvr"));
  Good.Project->Modules().Clear();
  Good.Project->SaveProject();
  Good = OpenProject(Dir.File("p.kvr"));
  EXPECT_TRUE(Good.Success);
  EXPECT_EQ(Good.Report, "");
  EXPECT_EQ(Good.Error, "");
}
