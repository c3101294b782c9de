// Test modules that crash while they are loaded or released: the load or
// unload fails with the signal's text and the program goes on loading.
#include "ModuleTestSupport.h"

#include <chrono>
#include <future>
#include <thread>

#ifdef __SANITIZE_ADDRESS__
#include <sanitizer/lsan_interface.h>
#endif

using namespace ModuleTest;

namespace {

const std::string Library = ModulePath("CrashesWhileLoading.so");
const std::string Package = ModulePath("CrashesWhileLoadingPackage.bpl");
const std::string SegvText = "Access violation (SIGSEGV)";

// The text of the TModuleException that aModule.UnloadModule() raises.
std::string UnloadError(TModule& aModule) {
  try {
    aModule.UnloadModule();
  } catch (const TModuleException& Error) {
    return Error.what();
  }
  ADD_FAILURE() << "no TModuleException for " << aModule.FullFileName();
  return {};
}

} // namespace

TEST(FrameworkModuleCrash, CrashWhileLoadingFailsTheLoadAndALaterLoadWorks) {
  struct TCase {
    std::string Path;
    const char* Step;
    std::string Text;
  };
  // An exit in the start-up would end the program as surely as a crash.
  const std::vector<TCase> Cases = {
      {Library, "start-up", SegvText},   {Library, "start-up exit", "exit(3) called by the test"},
      {Library, "Register", SegvText},   {Library, "unit test", SegvText},
      {Package, "Initialize", SegvText}, {Package, "start-up", SegvText}};
  for (const auto& [Path, Step, Text] : Cases) {
    SCOPED_TRACE(std::string(Step) + " of " + Path);
    TModule Module(Path);
    {
      TCrashAt Crash(Step);
      EXPECT_EQ(LoadError(Module), "Failed to load package or library \"" + Path + "\"");
    }
    EXPECT_EQ(Module.LoaderError(), Text);
    EXPECT_EQ(Module.State(), msLoadFailed);
    EXPECT_EQ(Module.Handle(), nullptr);
    EXPECT_TRUE(Names(Module).empty());
    EXPECT_FALSE(IsMapped(Path));
    // The same module loads once it no longer crashes, and its code runs.
    ASSERT_TRUE(Module.LoadModule());
    EXPECT_TRUE(Module.LoaderError().empty());
    EXPECT_EQ(Names(Module), (std::vector<std::string>{"TFine", "TCrashingRegister"}));
    TTestScenario Scenario("S");
    Scenario.AddUnitTest(Module.UnitTestList().FindByName("TFine"));
    Scenario.Run();
    EXPECT_EQ(Scenario.GetSummary().MethodSuccess(), 1);
    Scenario.RemoveAllUnitTests();
    EXPECT_TRUE(Module.UnloadModule());
    EXPECT_FALSE(IsMapped(Path));
  }
}

TEST(FrameworkModuleCrash, TheLoaderStaysUsableFromEveryThreadAfterAStartUpCrash) {
  TModule Crashing(Library);
  {
    TCrashAt Crash("start-up");
    LoadError(Crashing);
  }
  // A loader lock left taken would leave this load waiting for ever.
  std::packaged_task<bool()> Load([] {
    TModule Other(ModulePath("ReportA.so"));
    return Other.LoadModule() && Other.UnloadModule();
  });
  std::future<bool> Loaded = Load.get_future();
  std::thread(std::move(Load)).detach();
  ASSERT_EQ(Loaded.wait_for(std::chrono::seconds(60)), std::future_status::ready);
  EXPECT_TRUE(Loaded.get());
}

TEST(FrameworkModuleCrash, CrashWhileUnloadingIsReportedAndTheModuleIsLetGo) {
  // A library whose static destructors crash is tried in a copy and kept
  // mapped; a copy of the file keeps that from the other tests.
  TScratchDir Dir;
  const std::string Copy = Dir.File("ShutDownCrashes.so");
  fs::copy_file(Library, Copy);
  struct TCase {
    std::string Path;
    const char* Step;
    bool KeptMapped;
  };
  const std::vector<TCase> Cases = {{Package, "Finalize", false},
                                    {Library, "unit test destructor", false},
                                    {Copy, "shut-down", true}};
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(std::string(Case.Step) + " of " + Case.Path);
    TModule Module(Case.Path);
    TCrashAt Crash(Case.Step);
    {
#ifdef __SANITIZE_ADDRESS__
      // The unit test whose destructor crashes is abandoned, not freed.
      __lsan::ScopedDisabler AbandonedByTheCrash;
#endif
      ASSERT_TRUE(Module.LoadModule());
    }
    TTestScenario Scenario("S");
    Scenario.AddUnitTest(Module.UnitTestList().FindByName("TFine"));
    EXPECT_EQ(UnloadError(Module), "Failed to unload package or library \"" + Case.Path + "\"");
    EXPECT_EQ(Module.LoaderError(), SegvText);
    EXPECT_EQ(Module.State(), msNotLoaded);
    EXPECT_EQ(Module.Handle(), nullptr);
    EXPECT_TRUE(Names(Module).empty());
    EXPECT_EQ(Module.Assignments(), std::vector<std::string>{"TFine|S|ENABLED"});
    EXPECT_EQ(Scenario.GetUnitTestCount(), 0);
    EXPECT_EQ(IsMapped(Case.Path), Case.KeptMapped);
    EXPECT_FALSE(Module.UnloadModule());
  }
  // The library kept mapped was read through a descriptor that is closed
  // now: the next module opened may get its number, not that library.
  TModule Next(ModulePath("ReportA.so"));
  ASSERT_TRUE(Next.LoadModule());
  EXPECT_EQ(Names(Next), (std::vector<std::string>{"TReporter", "TIdle"}));
}
