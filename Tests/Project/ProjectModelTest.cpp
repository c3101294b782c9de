#include "Project.h"

#include "ProjectTestSupport.h"

#include <functional>
#include <gtest/gtest.h>

using namespace Kalvoro;
using namespace KalvoroTest;

namespace {

const std::string DuplicateMessage =
    "Cannot add this test scenario.\rA TestScenario with this name already exists";

std::string AssertionText(const std::function<void()>& aAction) {
  try {
    aAction();
  } catch (const EAssertionFailed& Error) {
    return Error.Message();
  }
  return "no assertion";
}

// A project with the worked example's module loaded: unit tests TA and TB.
struct TLoadedProject {
  TProject Project;
  TModule* Module;

  TLoadedProject() : Module(Project.Modules().AddByFileName(WorkedExampleModule)) {
    if (!Module->LoadModule())
      throw std::runtime_error("cannot load " + WorkedExampleModule);
  }
  TUnitTestBase* Unit(const char* aName) const { return Module->UnitTestList().FindByName(aName); }
};

} // namespace

TEST(ProjectModelTest, NewProjectHasTheDefaultScenarioAndDefaultReports) {
  TProject Project;
  EXPECT_TRUE(Project.Modified());
  EXPECT_EQ(Project.FileName(), "");
  ASSERT_EQ(Project.Scenarios().Count(), 1);
  EXPECT_EQ(Project.Scenarios()[0]->Name(), "Default Scenario");
  EXPECT_EQ(Project.Modules().Count(), 0);

  const std::string Directory = ExecutableDirectory();
  ASSERT_FALSE(Directory.empty());
  EXPECT_EQ(Directory.back(), '/');
  EXPECT_TRUE(std::filesystem::exists(Directory + "kalvoro_project_tests"));
  const TFileInfo& Info = Project.FileInfo();
  EXPECT_EQ(Info.Project(), &Project);
  EXPECT_TRUE(Info.Page(pkSummary).Enabled);
  EXPECT_TRUE(Info.Page(pkLog).Enabled);
  EXPECT_TRUE(Info.Page(pkErrors).Enabled);
  EXPECT_EQ(Info.Page(pkSummary).FileName, Directory + "Summary.txt");
  EXPECT_EQ(Info.Page(pkLog).FileName, Directory + "Log.txt");
  EXPECT_EQ(Info.Page(pkErrors).FileName, Directory + "Error.txt");
}

TEST(ProjectModelTest, ProjectForAFileStartsEmpty) {
  TProject Project("/tmp/some.kvr");
  EXPECT_EQ(Project.FileName(), "/tmp/some.kvr");
  EXPECT_EQ(Project.Scenarios().Count(), 0);
  EXPECT_EQ(Project.Modules().Count(), 0);
  EXPECT_TRUE(Project.Modified());
}

// Report files named relative to the project count from its file's folder.
TEST(ProjectModelTest, ResolvePathCountsFromTheProjectFilesFolder) {
  const TProject Project("runs/nightly/Demo.kvr");
  EXPECT_EQ(Project.ResolvePath("out/Log.txt"), "runs/nightly/out/Log.txt");
  EXPECT_EQ(Project.ResolvePath("../Log.txt"), "runs/nightly/../Log.txt");
  EXPECT_EQ(Project.ResolvePath("/var/log/Log.txt"), "/var/log/Log.txt");
  EXPECT_EQ(Project.ResolvePath(""), "");
  // A project file in the working directory, or none yet: names stay as they are.
  EXPECT_EQ(TProject("Demo.kvr").ResolvePath("Log.txt"), "Log.txt");
  EXPECT_EQ(TProject().ResolvePath("Log.txt"), "Log.txt");
}

TEST(ProjectModelTest, EveryFileInfoWriteMarksTheProjectModified) {
  TProject Project;
  TFileInfo& Info = Project.FileInfo();
  const std::vector<std::pair<const char*, std::function<void()>>> Writes = {
      {"SummaryEnabled", [&] { Info.SetEnabled(pkSummary, Info.Page(pkSummary).Enabled); }},
      {"LogEnabled", [&] { Info.SetEnabled(pkLog, false); }},
      {"ErrorEnabled", [&] { Info.SetEnabled(pkErrors, false); }},
      {"LogFileName", [&] { Info.SetFileName(pkLog, "/l.txt"); }},
      {"ErrorFileName", [&] { Info.SetFileName(pkErrors, Info.Page(pkErrors).FileName); }},
      {"SummaryFileName", [&] { Info.SetFileName(pkSummary, "/s.txt"); }},
  };
  TScratchDir Dir;
  Project.SetFileName(Dir.File("p.kvr"));
  for (const auto& [Name, Write] : Writes) {
    Project.SaveProject();
    ASSERT_FALSE(Project.Modified());
    Write();
    EXPECT_TRUE(Project.Modified()) << Name;
  }
  EXPECT_FALSE(Info.Page(pkLog).Enabled);
  EXPECT_FALSE(Info.Page(pkErrors).Enabled);
  EXPECT_EQ(Info.Page(pkLog).FileName, "/l.txt");
  EXPECT_EQ(Info.Page(pkSummary).FileName, "/s.txt");

  Project.SaveProject();
  Project.SetModified();
  EXPECT_TRUE(Project.Modified());
  Project.SaveProject();
  Project.SetFileName(Dir.File("q.kvr"));
  EXPECT_TRUE(Project.Modified());
  EXPECT_EQ(Project.FileName(), Dir.File("q.kvr"));
}

TEST(ProjectModelTest, ScenarioNamesAreUniqueWithLetterCaseSignificant) {
  TProject Project;
  TTestScenarioList& Scenarios = Project.Scenarios();
  try {
    Scenarios.AddByName("Default Scenario");
    ADD_FAILURE() << "duplicate accepted";
  } catch (const Exception& Error) {
    EXPECT_EQ(Error.Message(), DuplicateMessage);
  }
  try {
    Scenarios.Add(std::make_unique<TTestScenario>("Default Scenario"));
    ADD_FAILURE() << "duplicate accepted";
  } catch (const Exception& Error) {
    EXPECT_EQ(Error.Message(), DuplicateMessage);
  }
  EXPECT_EQ(Scenarios.Count(), 1);

  TTestScenario* Lower = Scenarios.AddByName("default scenario");
  EXPECT_EQ(Scenarios.Add(std::make_unique<TTestScenario>("Smoke")), 2);
  EXPECT_EQ(Scenarios.Count(), 3);
  EXPECT_EQ(Scenarios.FindByName("default scenario"), Lower);
  EXPECT_EQ(Scenarios.FindByName("Smoke"), Scenarios[2]);
  EXPECT_EQ(Scenarios.FindByName("smoke"), nullptr);
  EXPECT_EQ(Scenarios.IndexOf(Lower), 1);

  // Names are cut to 255 characters before they are compared.
  Scenarios.AddByName(std::string(255, 'n') + "first");
  EXPECT_THROW(Scenarios.AddByName(std::string(255, 'n') + "second"), Exception);
  EXPECT_EQ(Scenarios.Count(), 4);
}

TEST(ProjectModelTest, PreconditionsAreGuardedByAssertions) {
  TProject Project;
  const std::string Unit = "Assertion failure (Sources/Project/Project.cpp, line ";
  EXPECT_EQ(AssertionText([&] { Project.Scenarios().Add(nullptr); }).rfind(Unit, 0), 0u);
  EXPECT_EQ(AssertionText([] {
              TFileInfo Info(nullptr);
            }).rfind("Assertion failure (Sources/Project/ReportPages.cpp, line ", 0),
            0u);
  std::string Report;
  EXPECT_EQ(AssertionText([&] { Project.LoadAssignments(nullptr, Report); }).rfind(Unit, 0), 0u);
  TModule* NotLoaded = Project.Modules().AddByFileName("/nonexistent/Module.so");
  EXPECT_EQ(AssertionText([&] { Project.LoadAssignments(NotLoaded, Report); }).rfind(Unit, 0), 0u);
  EXPECT_EQ(Report, "");
}

TEST(ProjectModelTest, ModuleListKeepsPathsAndFindsExactly) {
  TProject Project;
  TModuleList& Modules = Project.Modules();
  TModule* First = Modules.AddByFileName("/t/Tests.so");
  TModule* Same = Modules.AddByFileName("/t/Tests.so");
  TModule* Relative = Modules.AddByFileName("rel/../Other.DLL");
  EXPECT_EQ(Modules.Count(), 3);
  EXPECT_EQ(First->State(), msNotLoaded);
  EXPECT_EQ(Relative->FullFileName(), "rel/../Other.DLL");
  EXPECT_EQ(Modules.FindByFileName("/t/Tests.so"), First);
  EXPECT_EQ(Modules.FindByFileName("/t/tests.so"), nullptr);
  EXPECT_EQ(Modules.Remove(First), 0);
  EXPECT_EQ(Modules.FindByFileName("/t/Tests.so"), Same);
  Modules.Clear();
  EXPECT_EQ(Modules.Count(), 0);
}

// The worked example: lines TA|Smoke|ENABLED and TX|Nightly|DISABLED; the
// project has Smoke, not Nightly; TB has no line.
TEST(ProjectModelTest, LoadAssignmentsReportsByteForByte) {
  TLoadedProject Loaded;
  TTestScenario* Smoke = Loaded.Project.Scenarios().AddByName("Smoke");
  Loaded.Module->Assignments() = {"TA|Smoke|ENABLED", "TX|Nightly|DISABLED"};
  std::string Report = "kept:";
  EXPECT_FALSE(Loaded.Project.LoadAssignments(Loaded.Module, Report));
  EXPECT_EQ(Report,
            "kept:"
            "The following error occurred when loading module \"ProjectWorkedExample.so\":\r"
            "* UnitTest \"TX\" not found.\r"
            "* TestScenario \"Nightly\" not found.\r"
            "* UnitTest \"TB\" is not assigned to a TestScenario.\r");
  EXPECT_TRUE(Loaded.Module->Assignments().empty());
  EXPECT_EQ(Loaded.Unit("TA")->TestScenario(), Smoke);
  EXPECT_TRUE(Loaded.Unit("TA")->Enabled());
  EXPECT_EQ(Smoke->GetUnitTestCount(), 1);
  EXPECT_EQ(Loaded.Unit("TB")->TestScenario(), nullptr);
}

TEST(ProjectModelTest, LoadAssignmentsSucceedsWhenEveryUnitTestFits) {
  TLoadedProject Loaded;
  TTestScenario* Default = Loaded.Project.Scenarios()[0];
  Loaded.Module->Assignments() = {"TB|Default Scenario|DISABLED", "TA|Default Scenario|ENABLED"};
  std::string Report;
  EXPECT_TRUE(Loaded.Project.LoadAssignments(Loaded.Module, Report));
  EXPECT_EQ(Report,
            "The following error occurred when loading module \"ProjectWorkedExample.so\":\r");
  ASSERT_EQ(Default->GetUnitTestCount(), 2);
  EXPECT_EQ(Default->GetUnitTest(0), Loaded.Unit("TB"));
  EXPECT_FALSE(Loaded.Unit("TB")->Enabled());
  EXPECT_TRUE(Loaded.Unit("TA")->Enabled());
  EXPECT_TRUE(Default->Enabled());
}

TEST(ProjectModelTest, LoadAssignmentsOddLines) {
  TLoadedProject Loaded;
  Loaded.Project.Scenarios().AddByName("A|B");
  Loaded.Module->Assignments() = {
      "TA",                         // no "|": empty scenario name
      "TZ|Nowhere|ENABLED",         // neither found: unit-test line first
      "TA|A|B|ENABLED",             // a scenario name with "|" reads whole
      "TB|Default Scenario|enabled" // only "ENABLED" enables
  };
  std::string Report;
  EXPECT_FALSE(Loaded.Project.LoadAssignments(Loaded.Module, Report));
  EXPECT_EQ(Report,
            "The following error occurred when loading module \"ProjectWorkedExample.so\":\r"
            "* TestScenario \"\" not found.\r"
            "* UnitTest \"TZ\" not found.\r"
            "* TestScenario \"Nowhere\" not found.\r");
  EXPECT_EQ(Loaded.Unit("TA")->TestScenario(), Loaded.Project.Scenarios().FindByName("A|B"));
  EXPECT_EQ(Loaded.Unit("TB")->TestScenario(), Loaded.Project.Scenarios()[0]);
  EXPECT_FALSE(Loaded.Unit("TB")->Enabled());

  // Any word other than exactly "ENABLED", the empty one included, disables.
  for (const char* Line : {"TB|Default Scenario|DISABLED", "TB|Default Scenario|",
                           "TB|Default Scenario", "TB|Default Scenario|ENABLED "}) {
    Loaded.Unit("TB")->SetEnabled(true);
    Loaded.Module->Assignments() = {Line};
    Loaded.Project.LoadAssignments(Loaded.Module, Report);
    EXPECT_FALSE(Loaded.Unit("TB")->Enabled()) << Line;
  }
}

TEST(ProjectModelTest, LaterLineMovesTheUnitTest) {
  TLoadedProject Loaded;
  TTestScenario* Default = Loaded.Project.Scenarios()[0];
  TTestScenario* Smoke = Loaded.Project.Scenarios().AddByName("Smoke");
  Loaded.Module->Assignments() = {"TA|Default Scenario|ENABLED", "TB|Smoke|ENABLED",
                                  "TA|Smoke|DISABLED", "TB|Smoke|ENABLED"};
  std::string Report;
  EXPECT_TRUE(Loaded.Project.LoadAssignments(Loaded.Module, Report));
  EXPECT_EQ(Default->GetUnitTestCount(), 0);
  ASSERT_EQ(Smoke->GetUnitTestCount(), 2);
  EXPECT_EQ(Smoke->GetUnitTest(0), Loaded.Unit("TA"));
  EXPECT_EQ(Smoke->GetUnitTest(1), Loaded.Unit("TB"));
  EXPECT_EQ(Loaded.Unit("TA")->TestScenario(), Smoke);
  EXPECT_FALSE(Loaded.Unit("TA")->Enabled());
}

TEST(ProjectModelTest, LoadAssignmentsWithManyScenariosFindsTheFirstOfAName) {
  TLoadedProject Loaded;
  for (int Index = 0; Index < 100; ++Index)
    Loaded.Project.Scenarios().AddByName("S" + std::to_string(Index));
  // Renamed behind the list's back to a name already in use.
  Loaded.Project.Scenarios()[80]->SetName("S7");
  Loaded.Module->Assignments() = {"TA|S7|ENABLED", "TB|S99|ENABLED"};
  std::string Report;
  EXPECT_TRUE(Loaded.Project.LoadAssignments(Loaded.Module, Report));
  EXPECT_EQ(Loaded.Unit("TA")->TestScenario(), Loaded.Project.Scenarios()[8]);
  EXPECT_EQ(Loaded.Unit("TB")->TestScenario(), Loaded.Project.Scenarios()[100]);
}

TEST(ProjectModelTest, RemovingAScenarioLeavesItsUnitTestsUnassigned) {
  TLoadedProject Loaded;
  TTestScenario* Smoke = Loaded.Project.Scenarios().AddByName("Smoke");
  Smoke->AddUnitTest(Loaded.Unit("TA"));
  Smoke->AddUnitTest(Loaded.Unit("TB"));
  EXPECT_EQ(Loaded.Project.Scenarios().Remove(Smoke), 1);
  EXPECT_EQ(Loaded.Project.Scenarios().Count(), 1);
  EXPECT_EQ(Loaded.Unit("TA")->TestScenario(), nullptr);
  EXPECT_FALSE(Loaded.Unit("TA")->Enabled());
  EXPECT_EQ(Loaded.Project.Scenarios()[0]->GetUnitTestCount(), 0);
}

TEST(ProjectModelTest, DestroyingAProjectWithAttachedUnitTestsIsOrderly) {
  // Scenarios go first, emptied, then the modules unload; a sanitizer build
  // catches any unit test that still points at a destroyed scenario.
  auto Loaded = std::make_unique<TLoadedProject>();
  Loaded->Project.Scenarios()[0]->AddUnitTest(Loaded->Unit("TA"));
  Loaded->Project.Scenarios().AddByName("Other")->AddUnitTest(Loaded->Unit("TB"));
  TModule* Module = Loaded->Module;
  Loaded->Project.Scenarios().Clear();
  EXPECT_EQ(Module->UnitTestList().GetItem(0)->TestScenario(), nullptr);
  EXPECT_EQ(Module->UnitTestList().GetItem(1)->TestScenario(), nullptr);
  Loaded->Project.Scenarios().AddByName("Again")->AddUnitTest(Loaded->Unit("TA"));
  Loaded.reset();
}

TEST(ProjectModelTest, RemovingALoadedModuleTakesItsUnitTestsOutOfTheirScenarios) {
  TLoadedProject Loaded;
  TTestScenario* Default = Loaded.Project.Scenarios()[0];
  Default->AddUnitTest(Loaded.Unit("TA"));
  EXPECT_EQ(Loaded.Project.Modules().Remove(Loaded.Module), 0);
  EXPECT_EQ(Default->GetUnitTestCount(), 0);
}
