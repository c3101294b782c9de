// Test modules: loading, the entry points, the per-module registry,
// assignments and unloading.
#include "ModuleTestSupport.h"

#include <cstdio>
#include <fstream>

using namespace ModuleTest;

TEST(FrameworkModule, TypeFollowsTheExtensionRegardlessOfCase) {
  const std::vector<std::pair<std::string, TModuleType>> Cases = {
      {"/m/Tests.bpl", ptPackage},  {"Tests.BPL", ptPackage},      {"Tests.Bpl", ptPackage},
      {"/m/Tests.dll", ptLibrary},  {"Tests.DLL", ptLibrary},      {"Tests.so", ptLibrary},
      {"Tests.SO", ptLibrary},      {"Tests", ptUnknown},          {"Tests.txt", ptUnknown},
      {"Tests.bpl.txt", ptUnknown}, {"/m/x.bpl/Tests", ptUnknown}, {"Tests.bp", ptUnknown},
      {"Tests.so.1", ptUnknown}};
  for (const auto& [FileName, Type] : Cases) {
    TModule Module(FileName);
    EXPECT_EQ(Module.ModuleType(), Type) << FileName;
    EXPECT_EQ(Module.State(), msNotLoaded);
    EXPECT_EQ(Module.Handle(), nullptr);
    EXPECT_EQ(Module.FullFileName(), FileName);
  }
}

TEST(FrameworkModule, FileNameAndPath) {
  TModule Nested("/opt/tests/Math.so");
  EXPECT_EQ(Nested.GetFileName(), "Math.so");
  EXPECT_EQ(Nested.GetPath(), "/opt/tests/");
  TModule Bare("Math.so");
  EXPECT_EQ(Bare.GetFileName(), "Math.so");
  EXPECT_EQ(Bare.GetPath(), "");
  TModule Long("/d/" + std::string(300, 'm'));
  EXPECT_EQ(Long.GetFileName(), std::string(255, 'm'));
  EXPECT_EQ(Long.GetPath(), "/d/");
}

TEST(FrameworkModule, RelativeNamesLoadAgainstTheBaseDirectory) {
  TModule Module("ReportA.so");
  Module.SetBaseDirectory(KALVORO_TEST_MODULES_DIR);
  ASSERT_TRUE(Module.LoadModule());
  EXPECT_EQ(Module.UnitTestList().Count(), 2);
  EXPECT_EQ(Module.UnitTestList()[0]->GetFullName(), "ReportA.so|TReporter");

  // A bare name is a file in the working directory, never a library found on
  // the loader's search path.
  TModule System("libc.so.6");
  EXPECT_EQ(LoadError(System), "Failed to load package or library \"libc.so.6\"");
}

TEST(FrameworkModule, RegistryEnumeratesInOrderWithDuplicatesAndFixtures) {
  TModule Module(ModulePath("Registry.so"));
  ASSERT_TRUE(Module.LoadModule());
  EXPECT_EQ(Module.State(), msLoadSuccess);
  EXPECT_EQ(Names(Module), (std::vector<std::string>{"TTwice", "TFixtured", "TTwice"}));
  EXPECT_EQ(Module.UnitTestList().FindByName("TTwice"), Module.UnitTestList()[0]);
  for (const TUnitTestBase* UnitTest : Module.UnitTestList()) {
    EXPECT_EQ(UnitTest->Module(), &Module);
    EXPECT_EQ(UnitTest->Methods().Count(), 1);
    EXPECT_FALSE(UnitTest->Enabled());
  }
  EXPECT_EQ(ReportsOf(Module, "TFixtured"), std::vector<std::string>{"Report fixtured"});

  // The module's own entry point, called directly.
  auto Enumerate = reinterpret_cast<TEnumRegisteredUnitTestsEntry>(
      dlsym(Module.Handle(), "EnumRegisteredUnitTests"));
  ASSERT_NE(Enumerate, nullptr);
  struct TSeen {
    std::vector<std::string> Entries;
  } Seen;
  int Info = 0;
  TEnumUnitTestProc Proc;
  Proc.Object = &Seen;
  Proc.Code = [](void* aObject, const TUnitTestBaseClass* aClass, const TFixtureBaseClass* aFixture,
                 void* aInfo) {
    static_cast<TSeen*>(aObject)->Entries.push_back(
        std::string(aClass->Name) + " " + (aFixture != nullptr ? aFixture->Name : "-") + " " +
        (aInfo != nullptr ? std::to_string(*static_cast<int*>(aInfo)) : "none"));
  };
  Info = 7;
  Enumerate(Proc, &Info);
  EXPECT_EQ(Seen.Entries,
            (std::vector<std::string>{"TTwice - 7", "TFixtured TSomeFixture 7", "TTwice - 7"}));
  Proc.Code = nullptr;
  Enumerate(Proc, &Info);
  EXPECT_EQ(Seen.Entries.size(), 3u);
  EXPECT_TRUE(Module.UnloadModule());
}

TEST(FrameworkModule, LoadAndUnloadOnlyInTheirStates) {
  TModule Module(ModulePath("ReportA.so"));
  EXPECT_FALSE(Module.UnloadModule());
  ASSERT_TRUE(Module.LoadModule());
  EXPECT_NE(Module.Handle(), nullptr);
  EXPECT_EQ(Names(Module), (std::vector<std::string>{"TReporter", "TIdle"}));
  EXPECT_EQ(Module.UnitTestList()[0]->GetFullName(), "ReportA.so|TReporter");
  EXPECT_FALSE(Module.LoadModule());
  EXPECT_EQ(Module.UnitTestList().Count(), 2);
  EXPECT_TRUE(Module.UnloadModule());
  EXPECT_EQ(Module.State(), msNotLoaded);
  EXPECT_EQ(Module.Handle(), nullptr);
  EXPECT_EQ(Module.UnitTestList().Count(), 0);
  EXPECT_FALSE(Module.UnloadModule());
  EXPECT_TRUE(Module.LoadModule());
  EXPECT_EQ(Module.UnitTestList().Count(), 2);
}

TEST(FrameworkModule, AssignmentsRecordScenarioMembership) {
  TModule Module(ModulePath("ReportA.so"));
  TTestScenario First("First"), Second("Second");
  ASSERT_TRUE(Module.LoadModule());
  TUnitTestBase* Reporter = Module.UnitTestList().FindByName("TReporter");
  First.AddUnitTest(Reporter);
  ASSERT_TRUE(Module.UnloadModule());
  EXPECT_EQ(Module.Assignments(), std::vector<std::string>{"TReporter|First|ENABLED"});
  EXPECT_EQ(First.GetUnitTestCount(), 0);
  EXPECT_FALSE(First.Enabled());

  ASSERT_TRUE(Module.LoadModule());
  First.AddUnitTest(Module.UnitTestList().FindByName("TReporter"));
  Module.UnitTestList().FindByName("TReporter")->SetEnabled(false);
  Second.AddUnitTest(Module.UnitTestList().FindByName("TIdle"));
  Module.SaveAssignments();
  EXPECT_EQ(Module.Assignments(),
            (std::vector<std::string>{"TReporter|First|DISABLED", "TIdle|Second|ENABLED"}));
  Second.RemoveAllUnitTests();
  First.RemoveAllUnitTests();
  Module.SaveAssignments();
  EXPECT_TRUE(Module.Assignments().empty());
}

TEST(FrameworkModule, EmptyPackageLoadsAndUnloads) {
  TModule Vacuel(std::string(KALVORO_EXAMPLES_DIR) + "/Vacuel.bpl");
  EXPECT_EQ(Vacuel.ModuleType(), ptPackage);
  for (int Round = 0; Round < 2; ++Round) {
    ASSERT_TRUE(Vacuel.LoadModule());
    EXPECT_EQ(Vacuel.State(), msLoadSuccess);
    EXPECT_EQ(Vacuel.UnitTestList().Count(), 0);
    EXPECT_TRUE(Vacuel.UnloadModule());
    EXPECT_TRUE(Vacuel.Assignments().empty());
    EXPECT_FALSE(IsMapped(Vacuel.FullFileName()));
  }
}

TEST(FrameworkModule, LoadedModulesKeepSeparateRegistries) {
  TModule A(ModulePath("ReportA.so")), B(ModulePath("ReportB.so")),
      Registry(ModulePath("Registry.so"));
  ASSERT_TRUE(A.LoadModule());
  ASSERT_TRUE(Registry.LoadModule());
  ASSERT_TRUE(B.LoadModule());
  EXPECT_EQ(Names(A), (std::vector<std::string>{"TReporter", "TIdle"}));
  EXPECT_EQ(Names(B), (std::vector<std::string>{"TReporter", "TIdle"}));
  EXPECT_EQ(Registry.UnitTestList().Count(), 3);
  EXPECT_EQ(ReportsOf(A, "TReporter"), std::vector<std::string>{"Report A"});
  EXPECT_EQ(ReportsOf(B, "TReporter"), std::vector<std::string>{"Report B"});
  // Unloading one leaves the other working.
  EXPECT_TRUE(A.UnloadModule());
  EXPECT_EQ(ReportsOf(B, "TReporter"), std::vector<std::string>{"Report B"});
}

TEST(FrameworkModule, UnloadingUnmapsSoARebuiltModuleIsPickedUp) {
  TScratchDir Dir;
  const std::string Path = Dir.File("Rebuilt.so");
  fs::copy_file(ModulePath("ReportA.so"), Path);
  TModule Module(Path);
  ASSERT_TRUE(Module.LoadModule());
  EXPECT_EQ(ReportsOf(Module, "TReporter"), std::vector<std::string>{"Report A"});
  ASSERT_TRUE(Module.UnloadModule());
  // Overwriting a file that is still mapped would crash the process.
  ASSERT_FALSE(IsMapped(Path));

  fs::copy_file(ModulePath("ReportB.so"), Path, fs::copy_options::overwrite_existing);
  ASSERT_TRUE(Module.LoadModule());
  EXPECT_EQ(ReportsOf(Module, "TReporter"), std::vector<std::string>{"Report B"});
}

TEST(FrameworkModule, ModulesExportNoUniqueSymbols) {
  std::ifstream List(KALVORO_TEST_MODULE_LIST);
  ASSERT_TRUE(List) << KALVORO_TEST_MODULE_LIST;
  int Checked = 0;
  for (std::string Path; std::getline(List, Path);) {
    if (Path.empty())
      continue;
    ASSERT_TRUE(fs::exists(Path)) << Path;
    const std::string Command = "nm -D --defined-only '" + Path + "'";
    std::FILE* Pipe = popen(Command.c_str(), "r");
    ASSERT_NE(Pipe, nullptr);
    std::string Output;
    char Buffer[4096];
    for (std::size_t Read; (Read = std::fread(Buffer, 1, sizeof Buffer, Pipe)) > 0;)
      Output.append(Buffer, Read);
    ASSERT_EQ(pclose(Pipe), 0) << Command;
    EXPECT_NE(Output.find(" T Register"), std::string::npos) << Path;
    EXPECT_EQ(Output.find(" u "), std::string::npos) << Path << ":\n" << Output;
    ++Checked;
  }
  EXPECT_GE(Checked, 3);
}

TEST(FrameworkModule, DemoModuleRunsToTheEndDespiteItsCrash) {
  TModule Demo(std::string(KALVORO_EXAMPLES_DIR) + "/Demo.so");
  ASSERT_TRUE(Demo.LoadModule());
  TTestScenario Scenario("Demo");
  TRecorder Recorder;
  Scenario.AddStateNotificationHandler(Recorder.Event());
  for (TUnitTestBase* UnitTest : Demo.UnitTestList())
    Scenario.AddUnitTest(UnitTest);
  ASSERT_EQ(Scenario.GetUnitTestCount(), 6);
  Scenario.Run();
  EXPECT_EQ(
      Recorder.CountOf("Exception Access violation (SIGSEGV) (Demo,TCrashTest,TestNullPointer)"),
      1);
  EXPECT_EQ(Recorder.CountOf("Check+ the run goes on after a crash"), 1);
  EXPECT_EQ(Recorder.Lines.back(), "ScenarioFinish(Demo,,)");
  const TSummary& Summary = Scenario.GetSummary();
  EXPECT_EQ(Summary.TotalUnitTests(), 6);
  EXPECT_EQ(Summary.UnitTestSuccess(), 2);
  EXPECT_EQ(Summary.UnitTestException(), 4);
  EXPECT_EQ(Summary.TotalMethods(), 9);
  EXPECT_EQ(Summary.MethodSuccess(), 4);
  EXPECT_EQ(Summary.MethodFailure(), 1);
  EXPECT_EQ(Summary.MethodException(), 4);
  EXPECT_TRUE(Demo.UnloadModule());
  EXPECT_EQ(Scenario.GetUnitTestCount(), 0);
}
