// The project file: saving, the round trip, and what saving refuses.
#include "Project.h"

#include "ProjectLoadOracle.h"
#include "ProjectTestSupport.h"

#include <gtest/gtest.h>

using namespace Kalvoro;
using namespace KalvoroTest;

// The worked example of the file format, with the loaded module at the place
// where the test build puts it.
TEST(ProjectFileTest, SaveWritesTheWorkedExampleByteForByte) {
  TScratchDir Dir;
  const std::string FileName = Dir.File("Example.kvr");
  {
    TProject Project;
    Project.SetFileName(FileName);
    TTestScenario* Default = Project.Scenarios()[0];
    TTestScenario* Smoke = Project.Scenarios().AddByName("Smoke");
    TModule* Demo = Project.Modules().AddByFileName(WorkedExampleModule);
    ASSERT_TRUE(Demo->LoadModule());
    Project.Modules().AddByFileName("C:\\Tests\\Old.dll");
    Smoke->AddUnitTest(Demo->UnitTestList().FindByName("TA"));
    Default->AddUnitTest(Demo->UnitTestList().FindByName("TB"));
    Demo->UnitTestList().FindByName("TB")->SetEnabled(false);
    Project.FileInfo().SetFileName(pkSummary, "C:\\Tools\\Summary.txt");
    Project.FileInfo().SetFileName(pkLog, "C:\\Tools\\Log.txt");
    Project.FileInfo().SetFileName(pkErrors, "C:\\Tools\\Error.txt");
    // Stale content of an earlier save must not survive.
    WriteFile(FileName, "[Scenarios]\nName7=Stale\n[Old Section]\nKey=1\n");

    Project.SaveProject();
    EXPECT_FALSE(Project.Modified());
  }
  EXPECT_EQ(ReadFile(FileName), CrLf("[Project]\n"
                                     "Signature=Kalvoro\n"
                                     "FileVersion=1.0\n"
                                     "ModuleCount=2\n"
                                     "ScenarioCount=2\n"
                                     "[FileInfo]\n"
                                     "SummaryEnabled=1\n"
                                     "SummaryFileName=C:\\Tools\\Summary.txt\n"
                                     "LogEnabled=1\n"
                                     "LogFileName=C:\\Tools\\Log.txt\n"
                                     "ErrorEnabled=1\n"
                                     "ErrorFileName=C:\\Tools\\Error.txt\n"
                                     "[Scenarios]\n"
                                     "Name0=Default Scenario\n"
                                     "Name1=Smoke\n"
                                     "[Modules]\n"
                                     "File0=" +
                                     WorkedExampleModule +
                                     "\n"
                                     "Load0=1\n"
                                     "AssignmentCount0=2\n"
                                     "File1=C:\\Tests\\Old.dll\n"
                                     "Load1=0\n"
                                     "AssignmentCount1=0\n"
                                     "[" +
                                     WorkedExampleModule +
                                     "]\n"
                                     "Assign0=TA|Smoke|ENABLED\n"
                                     "Assign1=TB|Default Scenario|DISABLED\n"));

  TLoad Load = LoadFile(FileName);
  ASSERT_EQ(Load.Error, "");
  EXPECT_TRUE(Load.Result);
  EXPECT_EQ(Load.Report, "");
  EXPECT_FALSE(Load.Project->Modified());
  EXPECT_EQ(KalvoroFuzz::DescribeProject(*Load.Project), "scenario [Default Scenario]\n"
                                                         "scenario [Smoke]\n"
                                                         "module [" +
                                                             WorkedExampleModule +
                                                             "] state 1\n"
                                                             "  TA in [Smoke] enabled\n"
                                                             "  TB in [Default Scenario] disabled\n"
                                                             "module [C:\\Tests\\Old.dll] state 0\n"
                                                             "summary 1 [C:\\Tools\\Summary.txt]\n"
                                                             "log 1 [C:\\Tools\\Log.txt]\n"
                                                             "error 1 [C:\\Tools\\Error.txt]\n"
                                                             "options hosts 1 time limit 0\n");
}

TEST(ProjectFileTest, RoundTripKeepsEverythingWithTheDemoModuleLoadedAndNot) {
  TScratchDir Dir;
  // A second copy of the demo module at a path with "]" and blanks in it.
  const std::string OddPath = Dir.File(" Demo]copy [x].so");
  std::filesystem::copy_file(DemoModule, OddPath);
  const std::string FileName = Dir.File("RoundTrip.kvr");
  std::string Before;
  {
    TProject Project;
    Project.SetFileName(FileName);
    TTestScenario* Default = Project.Scenarios()[0];
    TTestScenario* Smoke = Project.Scenarios().AddByName("Smoke");
    TTestScenario* Odd = Project.Scenarios().AddByName("  \"quoted\" 'and' padded = ; [x] ");
    Project.Scenarios().AddByName("smoke");
    TModule* Loaded = Project.Modules().AddByFileName(DemoModule);
    ASSERT_TRUE(Loaded->LoadModule());
    Smoke->AddUnitTest(Loaded->UnitTestList().FindByName("TMathTest"));
    Default->AddUnitTest(Loaded->UnitTestList().FindByName("TStackTest"));
    Loaded->UnitTestList().FindByName("TStackTest")->SetEnabled(false);
    Odd->AddUnitTest(Loaded->UnitTestList().FindByName("TCrashTest"));
    TModule* Unloaded = Project.Modules().AddByFileName(OddPath);
    ASSERT_TRUE(Unloaded->LoadModule());
    Smoke->AddUnitTest(Unloaded->UnitTestList().FindByName("TNoMethodsTest"));
    Odd->AddUnitTest(Unloaded->UnitTestList().FindByName("TMathTest"));
    Unloaded->UnitTestList().FindByName("TMathTest")->SetEnabled(false);
    ASSERT_TRUE(Unloaded->UnloadModule());
    Project.Modules().AddByFileName("/nowhere/Missing.so")->Assignments() = {"TA| Odd |ENABLED"};
    Project.FileInfo().SetEnabled(pkSummary, false);
    Project.FileInfo().SetFileName(pkSummary, " /r/Summary.txt ");
    Project.FileInfo().SetFileName(pkLog, "\"/r/Log.txt\"");
    Project.FileInfo().SetEnabled(pkErrors, false);
    Project.FileInfo().SetFileName(pkErrors, "");
    Project.SaveProject();
    EXPECT_FALSE(Project.Modified());
    Before = KalvoroFuzz::DescribeProject(Project);
  }
  EXPECT_NE(Before.find("TStackTest in [Default Scenario] disabled"), std::string::npos);
  EXPECT_NE(Before.find("line [TMathTest|  \"quoted\" 'and' padded = ; [x] |DISABLED]"),
            std::string::npos);

  TLoad Load = LoadFile(FileName);
  ASSERT_EQ(Load.Error, "");
  // The demo module has unit tests without a scenario: a report, no failure.
  EXPECT_FALSE(Load.Result);
  EXPECT_EQ(Load.Report.rfind("The following error occurred when loading module \"Demo.so\":\r", 0),
            0u);
  EXPECT_EQ(KalvoroFuzz::DescribeProject(*Load.Project), Before);
  EXPECT_FALSE(Load.Project->Modified());

  // Saved again unchanged, the file is the same; loading the second module
  // then restores its memberships from the lines kept meanwhile.
  const std::string First = ReadFile(FileName);
  Load.Project->SaveProject();
  EXPECT_EQ(ReadFile(FileName), First);
  TModule* Unloaded = Load.Project->Modules()[1];
  ASSERT_TRUE(Unloaded->LoadModule());
  std::string Report;
  Load.Project->LoadAssignments(Unloaded, Report);
  EXPECT_EQ(Unloaded->UnitTestList().FindByName("TNoMethodsTest")->TestScenario(),
            Load.Project->Scenarios().FindByName("Smoke"));
  TUnitTestBase* Math = Unloaded->UnitTestList().FindByName("TMathTest");
  EXPECT_EQ(Math->TestScenario()->Name(), "  \"quoted\" 'and' padded = ; [x] ");
  EXPECT_FALSE(Math->Enabled());

  // Saving again records the loaded module's current memberships.
  Load.Project->Scenarios()[0]->AddUnitTest(Unloaded->UnitTestList().FindByName("TBrokenExitTest"));
  Load.Project->SaveProject();
  const std::string Second = ReadFile(FileName);
  EXPECT_NE(Second.find("Load1=1\r\nAssignmentCount1=3\r\n"), std::string::npos);
  EXPECT_NE(Second.find("Assign1=TBrokenExitTest|Default Scenario|ENABLED\r\n"), std::string::npos);
}

TEST(ProjectFileTest, ProjectWithoutModulesHasNoModulesSection) {
  TScratchDir Dir;
  TProject Project;
  Project.SetFileName(Dir.File("Empty.kvr"));
  Project.SaveProject();
  const std::string Text = ReadFile(Dir.File("Empty.kvr"));
  EXPECT_EQ(Text.find("[Modules]"), std::string::npos);
  EXPECT_NE(Text.find("ModuleCount=0\r\nScenarioCount=1\r\n"), std::string::npos);
  TLoad Load = LoadFile(Dir.File("Empty.kvr"));
  EXPECT_TRUE(Load.Result);
  EXPECT_EQ(Load.Project->Modules().Count(), 0);
  EXPECT_EQ(ScenarioNames(*Load.Project), std::vector<std::string>{"Default Scenario"});
}

TEST(ProjectFileTest, LineBreaksAreRefusedBeforeAnythingIsWritten) {
  TScratchDir Dir;
  const std::string FileName = Dir.File("p.kvr");
  TProject Project;
  Project.SetFileName(FileName);
  Project.SaveProject();
  const std::string Saved = ReadFile(FileName);

  TTestScenario* Broken = Project.Scenarios().AddByName("two\nlines");
  Project.SetModified();
  try {
    Project.SaveProject();
    ADD_FAILURE() << "saved a name with a line break";
  } catch (const Exception& Error) {
    EXPECT_EQ(Error.Message(), "Unable to write to " + FileName +
                                   "\rThe scenario name \"two\\nlines\" contains a line break");
  }
  EXPECT_FALSE(Project.Modified());
  EXPECT_EQ(ReadFile(FileName), Saved);

  Project.Scenarios().Remove(Broken);
  Project.Modules().AddByFileName("/t/a\r.so");
  try {
    Project.SaveProject();
    ADD_FAILURE() << "saved a path with a line break";
  } catch (const Exception& Error) {
    EXPECT_EQ(Error.Message(), "Unable to write to " + FileName +
                                   "\rThe module path \"/t/a\\r.so\" contains a line break");
  }
  Project.Modules().Clear();
  Project.Modules().AddByFileName("/t/a.so")->Assignments() = {"TA|Default\nScenario|ENABLED"};
  EXPECT_THROW(Project.SaveProject(), Exception);
  EXPECT_EQ(ReadFile(FileName), Saved);
}

TEST(ProjectFileTest, FailedSaveRaisesAndClearsModified) {
  TScratchDir Dir;
  TProject Project;
  Project.SetFileName(Dir.File("no/such/folder.kvr"));
  try {
    Project.SaveProject();
    ADD_FAILURE() << "saved into a missing folder";
  } catch (const Exception& Error) {
    EXPECT_EQ(Error.Message(), "Unable to write to " + Dir.File("no/such/folder.kvr") +
                                   ": No such file or directory");
  }
  EXPECT_FALSE(Project.Modified());
}

// The run options: read tolerantly (a bad value is a report line and keeps
// the default), written back only where they differ from the defaults, and
// kept apart from a module's assignment lines even when the module's path
// names the options' section.
TEST(ProjectFileTest, RunOptionsAreReadTolerantlyAndWrittenOnlyWhenNotDefault) {
  const std::string Section = "[Kalvoro/Options]\n";
  const std::string ReportHeader =
      "The following error occurred when reading the section [Kalvoro/Options]:\r";
  struct TCase {
    std::string Lines; // of the options' section; empty: no section
    bool Hosts;
    int TimeLimit;
    std::string Report;
    std::string Saved; // the section as saved again; empty: none
    int Jobs = 1;
    std::string Serial{};
  };
  const TCase Cases[] = {
      {"", true, 0, "", ""},
      {"Jobs=4\nSerial=TDb*:TPort.*\n", true, 0, "", "Jobs=4\nSerial=TDb*:TPort.*\n", 4,
       "TDb*:TPort.*"},
      {"Jobs=1\nSerial=\n", true, 0, "", "", 1, ""},
      {"Jobs=0\nTimeLimit=3\n", true, 3,
       ReportHeader + "* Jobs=\"0\" is no whole number from 1 to 256; tests run one at a time.\r",
       "TimeLimit=3\n"},
      {"Jobs=257\n", true, 0,
       ReportHeader + "* Jobs=\"257\" is no whole number from 1 to 256; tests run one at a "
                      "time.\r",
       ""},
      {"Hosts=0\nTimeLimit=5\n", false, 5, "", "Hosts=0\nTimeLimit=5\n"},
      {"timelimit=30\nhosts=1\n", true, 30, "", "TimeLimit=30\n"},
      {"Hosts=1\nTimeLimit=0\n", true, 0, "", ""},
      {"Hosts=0\nTimeLimit=$10\nUnknown=x\n", false, 16, "", "Hosts=0\nTimeLimit=16\n"},
      {"Hosts=yes\nTimeLimit=-1\n", true, 0,
       ReportHeader + "* Hosts=\"yes\" is neither 1 nor 0; the tests run in hosts.\r"
                      "* TimeLimit=\"-1\" is no whole number of seconds from 0; no time limit "
                      "is set.\r",
       ""},
      {"Hosts=2\nTimeLimit=7\n", true, 7,
       ReportHeader + "* Hosts=\"2\" is neither 1 nor 0; the tests run in hosts.\r",
       "TimeLimit=7\n"},
      {"Hosts=0\nTimeLimit=2.5\n", false, 0,
       ReportHeader + "* TimeLimit=\"2.5\" is no whole number of seconds from 0; no time "
                      "limit is set.\r",
       "Hosts=0\n"},
      {"TimeLimit=\n", true, 0,
       ReportHeader + "* TimeLimit=\"\" is no whole number of seconds from 0; no time limit "
                      "is set.\r",
       ""},
  };
  const std::string Scenarios = "[Scenarios]\nName0=Default Scenario\n";
  // The file's head as the project layer writes it back.
  const std::string SavedHead =
      "[Project]\nSignature=Kalvoro\nFileVersion=1.0\nModuleCount=0\nScenarioCount=1\n"
      "[FileInfo]\nSummaryEnabled=1\nSummaryFileName=/r/Summary.txt\nLogEnabled=0\n"
      "LogFileName=/r/Log.txt\nErrorEnabled=0\nErrorFileName=/r/Error.txt\n";
  TScratchDir Dir;
  const std::string FileName = Dir.File("Options.kvr");
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Lines);
    WriteFile(FileName,
              Header("0", "1") + Scenarios + (Case.Lines.empty() ? "" : Section + Case.Lines));
    TLoad Load = LoadFile(FileName);
    ASSERT_EQ(Load.Error, "");
    EXPECT_EQ(Load.Result, Case.Report.empty());
    EXPECT_EQ(Load.Report, Case.Report);
    EXPECT_EQ(Load.Project->Options(),
              (TProjectOptions{Case.Hosts, Case.TimeLimit, Case.Jobs, Case.Serial}));
    EXPECT_EQ(Load.Project->Modules().Count(), 0);
    EXPECT_FALSE(Load.Project->Modified());
    Load.Project->SaveProject();
    EXPECT_EQ(ReadFile(FileName),
              CrLf(SavedHead + (Case.Saved.empty() ? "" : Section + Case.Saved) + Scenarios));
  }

  // A module whose path is the options' section name keeps its lines apart.
  {
    TProject Project;
    Project.SetFileName(FileName);
    Project.SetOptions({false, 3});
    EXPECT_TRUE(Project.Modified());
    Project.Modules().AddByFileName("Kalvoro/Options")->Assignments() = {
        "TA|Default Scenario|ENABLED", "TimeLimit=9|Default Scenario|ENABLED"};
    Project.SaveProject();
  }
  const std::string Saved = ReadFile(FileName);
  EXPECT_NE(Saved.find(CrLf("[Kalvoro/Options]\nHosts=0\nTimeLimit=3\n"
                            "Assign0=TA|Default Scenario|ENABLED\n"
                            "Assign1=TimeLimit=9|Default Scenario|ENABLED\n")),
            std::string::npos);
  TLoad Load = LoadFile(FileName);
  ASSERT_EQ(Load.Error, "");
  EXPECT_EQ(Load.Report, "");
  EXPECT_EQ(Load.Project->Options(), (TProjectOptions{false, 3}));
  ASSERT_EQ(Load.Project->Modules().Count(), 1);
  EXPECT_EQ(Load.Project->Modules()[0]->Assignments(),
            (std::vector<std::string>{"TA|Default Scenario|ENABLED",
                                      "TimeLimit=9|Default Scenario|ENABLED"}));
}
