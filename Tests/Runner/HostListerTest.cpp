// Modules listed by run hosts: one host lists a project's modules one after
// another, a module whose start-up ends its host is not loaded (with the
// reason) and a fresh host lists those after it; a module loaded again is
// listed by a fresh host, so a rebuilt file is what its listing shows; no
// module's code runs in this process.
#include "HostLister.h"

#include "ModuleTestSupport.h"

#include <memory>

using namespace ModuleTest;

namespace {

// The loader's text after a load of aModule: empty when it loaded.
std::string LoadOutcome(TModule& aModule) {
  try {
    if (aModule.LoadModule())
      return {};
  } catch (const TModuleException&) {
  }
  return aModule.LoaderError().empty() ? "refused" : aModule.LoaderError();
}

} // namespace

// The same whether the program announced the modules (a project opens: the
// host is asked for the next one with each listing) or not, and whether it
// then loads them in the announced order or not.
TEST(RunnerHostLister, EachModuleIsListedOrRefusedOnItsOwnAndAFreshHostGoesOn) {
  struct TCase {
    const char* Step;     // where CrashesWhileLoading crashes
    std::string LoadText; // of the crashing module; the others load
    int Hosts;            // started for the three listings in their order
    // The same, announced: a host lets go of a module that it listed when
    // the next listing waits, so a shut-down that crashes ends that host.
    int HostsAnnounced;
  };
  const std::vector<TCase> Cases = {
      {"start-up", "Access violation (SIGSEGV)", 2, 2},
      {"start-up exit", "exit(3) called by the test", 2, 2},
      {"start-up hang", "Start-up or shut-down did not end within 2 s", 2, 2},
      {"shut-down", "", 1, 2},
      // Listed, but it leaves a thread behind: its host retires after it.
      {"start-up thread", "", 2, 2},
      {"none", "", 1, 1},
  };
  struct TOrder {
    const char* Name;
    bool Announced;
    std::vector<int> Loads; // indexes into Paths
  };
  const std::vector<TOrder> Orders = {
      {"one by one", false, {0, 1, 2}},
      {"announced", true, {0, 1, 2}},
      {"announced, loaded in another order", true, {0, 2, 1}},
  };
  const std::vector<std::string> Paths = {
      ModulePath("ReportA.so"), ModulePath("CrashesWhileLoading.so"), ModulePath("Exits.so")};
  // What each module holds, listed alone.
  std::vector<std::vector<std::string>> Alone;
  for (const std::string& Path : Paths) {
    THostLister Lister;
    const TModuleListerScope Listing(&Lister);
    TModule Module(Path);
    LoadOutcome(Module);
    Alone.push_back(Names(Module));
  }
  for (const TCase& Case : Cases)
    for (const TOrder& Order : Orders) {
      SCOPED_TRACE(std::string(Case.Step) + ", " + Order.Name);
      const TCrashAt Crash(Case.Step);
      THostLister Lister;
      Lister.SetTimeLimit(2);
      const TModuleListerScope Listing(&Lister);
      std::vector<std::unique_ptr<TModule>> Modules;
      std::vector<const TModule*> Coming;
      for (const std::string& Path : Paths) {
        Modules.push_back(std::make_unique<TModule>(Path));
        Coming.push_back(Modules.back().get());
      }
      if (Order.Announced)
        ExpectListings(Coming);
      std::vector<std::string> Outcomes(Paths.size());
      for (const int Index : Order.Loads)
        Outcomes[Index] = LoadOutcome(*Modules[Index]);
      EXPECT_EQ(Outcomes, (std::vector<std::string>{"", Case.LoadText, ""}));
      if (Order.Loads == std::vector<int>{0, 1, 2}) {
        EXPECT_EQ(Lister.HostsStarted(), Order.Announced ? Case.HostsAnnounced : Case.Hosts);
      }
      for (std::size_t I = 0; I < Modules.size(); ++I) {
        TModule& Module = *Modules[I];
        EXPECT_EQ(Module.Listed(), Module.State() == msLoadSuccess);
        // Nothing of the module is mapped here.
        EXPECT_FALSE(IsMapped(Module.FullFileName())) << Module.FullFileName();
        // Each listing is its own module's, whichever host gave it.
        if (Module.State() == msLoadSuccess) {
          EXPECT_EQ(Names(Module), Alone[I]) << Module.FullFileName();
          EXPECT_TRUE(Module.UnloadModule());
        }
      }
    }
}

// Unloaded and loaded again, a module is listed by a fresh host: a host
// that holds the old file would hand back its old code.
TEST(RunnerHostLister, AModuleLoadedAgainShowsTheFileAsItIsNow) {
  TScratchDir Dir;
  const std::string Path = Dir.File("Module.so");
  fs::copy_file(ModulePath("ReportA.so"), Path);
  THostLister Lister;
  const TModuleListerScope Listing(&Lister);
  TModule Module(Path);
  ASSERT_EQ(LoadOutcome(Module), "");
  const std::vector<std::string> Before = Names(Module);
  const TModuleFileIdentity Listed = *Lister.Identity(Module);
  Module.UnloadModule();
  EXPECT_EQ(Lister.Identity(Module), nullptr);
  // Rebuilt: a linker writes a new file and renames it over the old one.
  fs::copy_file(ModulePath("Exits.so"), Path + ".new");
  fs::rename(Path + ".new", Path);
  ASSERT_EQ(LoadOutcome(Module), "");
  EXPECT_NE(Names(Module), Before);
  EXPECT_FALSE(Names(Module).empty());
  EXPECT_FALSE(*Lister.Identity(Module) == Listed);
}

// A test program (an executable) is refused from its bytes, never run.
TEST(RunnerHostLister, ATestProgramIsRefusedWithoutBeingRun) {
  THostLister Lister;
  const TModuleListerScope Listing(&Lister);
  TModule Program("/bin/true");
  EXPECT_EQ(LoadOutcome(Program), "The file is a test program (an executable), not a Kalvoro "
                                  "module (a shared library): it cannot be loaded");
  EXPECT_EQ(Program.State(), msLoadFailed);
  EXPECT_EQ(Lister.HostsStarted(), 0);
}
