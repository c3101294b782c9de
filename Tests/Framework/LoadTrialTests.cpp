// The modules a program is about to load, tried together in one trial
// process: each is refused or passed on its own, in the order given, and a
// load answers from that trial while the file is unchanged.
#include "ModuleTestSupport.h"

#include "HostProgram.h"
#include "ModuleTrial.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>

using namespace ModuleTest;

namespace {

const std::string Crashing = ModulePath("CrashesWhileLoading.so");

// A short time limit for the trials of one test.
class TShortTrials {
public:
  TShortTrials() { SetLoadTrialTimeLimit(2); }
  ~TShortTrials() { SetLoadTrialTimeLimit(10); }
};

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

TEST(FrameworkLoadTrials, EachModuleIsRefusedOrLoadedOnItsOwn) {
  const TShortTrials Short;
  struct TCase {
    const char* Step;
    std::string LoadText;   // of the crashing module; the others load
    std::string UnloadText; // of the crashing module, once loaded
  };
  const std::vector<TCase> Cases = {
      {"start-up", "Access violation (SIGSEGV)", ""},
      {"start-up exit", "exit(3) called by the test", ""},
      {"start-up hang", "Start-up or shut-down did not end within 2 s", ""},
      {"shut-down", "", "Access violation (SIGSEGV)"},
      {"none", "", ""},
  };
  // The crashing module between two that load, so that the one after it is
  // tried by a fresh trial process when it ended the first.
  const std::vector<std::string> Paths = {ModulePath("ReportA.so"), Crashing,
                                          ModulePath("Exits.so")};
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Step);
    const TCrashAt Crash(Case.Step);
    const TLoadTrials Trials(Paths);
    std::vector<std::unique_ptr<TModule>> Modules;
    std::vector<std::string> Outcomes;
    for (const std::string& Path : Paths) {
      Modules.push_back(std::make_unique<TModule>(Path));
      Outcomes.push_back(LoadOutcome(*Modules.back()));
    }
    EXPECT_EQ(Outcomes, (std::vector<std::string>{"", Case.LoadText, ""}));
    TModule& Module = *Modules[1];
    if (Module.State() != msLoadSuccess)
      continue;
    std::string Unloaded;
    try {
      Module.UnloadModule();
    } catch (const TModuleException&) {
      Unloaded = Module.LoaderError();
    }
    EXPECT_EQ(Unloaded, Case.UnloadText);
  }
}

// The trial's answer holds for the file as it was tried: a file changed
// since is tried again.
TEST(FrameworkLoadTrials, ALoadAnswersFromTheTrialUntilTheFileChanges) {
  if (HostProgramPath().empty())
    GTEST_SKIP() << "no host program: each load is tried in a fork of its own";
  TScratchDir Dir;
  const std::string Copy = Dir.File("Copy.so");
  fs::copy_file(Crashing, Copy);
  std::optional<TLoadTrials> Trials;
  {
    const TCrashAt Crash("start-up");
    Trials.emplace(std::vector<std::string>{Copy});
  }
  TModule Module(Copy);
  EXPECT_EQ(LoadOutcome(Module), "Access violation (SIGSEGV)");
  fs::last_write_time(Copy, fs::last_write_time(Copy) + std::chrono::seconds(1));
  EXPECT_EQ(LoadOutcome(Module), "");
  EXPECT_TRUE(Module.UnloadModule());
}

// A file that this program has loaded and unloaded without a fault is not
// tried again while it is unchanged; a changed file (also one changed while
// it was loaded), a refused one and one whose code broke here since are.
TEST(FrameworkLoadTrials, AFileThatCameThroughHereIsTriedAgainOnlyOnceChanged) {
  using TChange = void (*)(const std::string& aPath);
  const TChange Keep = nullptr;
  const TChange Touch = [](const std::string& aPath) {
    fs::last_write_time(aPath, fs::last_write_time(aPath) + std::chrono::seconds(1));
  };
  const TChange Replace = [](const std::string& aPath) {
    fs::copy_file(aPath, aPath + ".new");
    fs::rename(aPath + ".new", aPath);
  };
  struct TStep {
    TChange Change;     // made to the file before the load
    const char* Crash;  // the crashing module's step during the load, or ""
    std::string Loaded; // the load's outcome: empty when it loaded
    bool Tried;         // whether the load and unload started a trial
    TChange WhileLoaded = nullptr;
  };
  struct TCase {
    const char* Name;
    std::string Module;
    std::vector<TStep> Steps;
  };
  const std::string Segv = "Access violation (SIGSEGV)";
  const std::vector<TCase> Cases = {
      {"unchanged",
       ModulePath("ReportA.so"),
       {{Keep, "", "", true}, {Keep, "", "", false}, {Keep, "", "", false}}},
      {"new time", ModulePath("ReportA.so"), {{Keep, "", "", true}, {Touch, "", "", true}}},
      {"new inode", ModulePath("ReportA.so"), {{Keep, "", "", true}, {Replace, "", "", true}}},
      {"changed while loaded",
       ModulePath("ReportA.so"),
       {{Keep, "", "", true, Touch}, {Keep, "", "", true}, {Keep, "", "", false}}},
      {"refused start-up",
       Crashing,
       {{Keep, "start-up", Segv, true}, {Keep, "start-up", Segv, true}}},
      {"crash here since",
       Crashing,
       {{Keep, "", "", true}, {Keep, "Register", Segv, false}, {Keep, "", "", true}}},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    TScratchDir Dir;
    const std::string Path = Dir.File("Module.so");
    fs::copy_file(Case.Module, Path);
    TModule Module(Path);
    for (std::size_t I = 0; I < Case.Steps.size(); ++I) {
      SCOPED_TRACE("load " + std::to_string(I + 1));
      const TStep& Step = Case.Steps[I];
      if (Step.Change != nullptr)
        Step.Change(Path);
      const std::size_t Before = LoadTrialsStarted();
      setenv("KALVORO_CRASH_AT", Step.Crash, 1);
      EXPECT_EQ(LoadOutcome(Module), Step.Loaded);
      unsetenv("KALVORO_CRASH_AT");
      if (Module.State() == msLoadSuccess) {
        if (Step.WhileLoaded != nullptr)
          Step.WhileLoaded(Path);
        EXPECT_TRUE(Module.UnloadModule());
      }
      EXPECT_EQ(LoadTrialsStarted() != Before, Step.Tried);
    }
  }
}
