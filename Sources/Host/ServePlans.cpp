#include "ServePlans.h"

#include "Descendants.h"
#include "HostLifetime.h"
#include "HostSink.h"
#include "ListModule.h"
#include "LoadedModules.h"
#include "RunnerChannel.h"

#include "CrashGuard.h"
#include "Interruption.h"
#include "ModuleLoadText.h"
#include "ModuleTrial.h"
#include "ThreadMessages.h"
#include "UnitTestBase.h"

#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace Kalvoro {

namespace {

// LeakSanitizer's check of the heap, where the runner started this host
// with a runtime that has one.
TLeakCheck LeakCheck = nullptr;

// The folder that the host started in: a relative module path names a file
// from there, whatever folder an earlier plan's tests moved to.
std::string StartDirectory;

std::string FromStart(const std::string& aPath) {
  return aPath.empty() || aPath.front() == '/' ? aPath : StartDirectory + "/" + aPath;
}

// The module file as the runner listed it: the same device, inode, size and
// times, else the text that ends the plan's methods.
std::string CheckModuleFile(const THostPlan& aPlan) {
  TModuleFileIdentity Now;
  const bool Same = ModuleFileIdentity(FromStart(aPlan.ModulePath), Now) && Now == aPlan.Module;
  return Same ? std::string() : std::string(ModuleFileChangedText);
}

std::string LoadFailure(TLoadedModule& aLoaded, const THostPlan& aPlan) {
  std::string Problem = CheckModuleFile(aPlan);
  if (!Problem.empty())
    return Problem;
  TModule& Module = *aLoaded.Module;
  if (Module.Handle() != nullptr) {
    // The loader would hand back what it loaded under this name.
    if (Module.LoadedIdentity() != aPlan.Module)
      return ModuleFileChangedText;
  } else {
    try {
      Module.LoadModule();
    } catch (const std::exception& Error) {
      return LoadProblem(Error.what(), Module.LoaderError());
    }
    // The file may have changed between the check and the load.
    if (Module.LoadedIdentity() != aPlan.Module)
      return ModuleFileChangedText;
  }
  for (const THostPlanEntry& Entry : aPlan.Entries) {
    const auto Index = static_cast<int>(Entry.UnitTest);
    if (Index >= Module.UnitTestList().Count() ||
        Module.UnitTestList().GetItem(Index)->Name() != Entry.UnitTestName ||
        static_cast<int>(Entry.Method) >= Module.UnitTestList().GetItem(Index)->Methods().Count())
      return "The module \"" + aPlan.ModulePath + "\" no longer has the unit test \"" +
             Entry.UnitTestName + "\" that was loaded";
  }
  return {};
}

// Runs one plan; true when the host may serve another one.
bool RunPlan(TRunnerChannel& aChannel, THostSink& aSink, TLoadedModules& aModules,
             const THostPlan& aPlan) {
  TLoadedModule& Loaded = aModules[aPlan.ModulePath];
  if (!Loaded.Module) {
    Loaded.Module = std::make_unique<TModule>(aPlan.ModulePath);
    if (!aPlan.ModulePath.empty() && aPlan.ModulePath.front() != '/')
      Loaded.Module->SetBaseDirectory(StartDirectory);
  }
  const std::string Problem = LoadFailure(Loaded, aPlan);
  if (!Problem.empty()) {
    aChannel.Frames().LoadFailed(Problem);
    End(aChannel);
  }
  TModule& Module = *Loaded.Module;
  TTestScenario Scenario(aPlan.ScenarioName);
  Scenario.SetTimeLimit(aPlan.TimeLimit);
  Scenario.AddStateNotificationHandler(MakeMessageEvent<&THostSink::OnMessage>(
      &aSink, aPlan.ConsumedIds | MessageIdBit(MessageIdProgress)));
  for (const THostPlanEntry& Entry : aPlan.Entries) {
    TUnitTestBase* UnitTest = Module.UnitTestList().GetItem(static_cast<int>(Entry.UnitTest));
    if (UnitTest->TestScenario() == nullptr)
      Scenario.AddUnitTest(UnitTest);
  }
  const TSignalScope Signals;
  const TInterruptScope Interruption;
  const unsigned CrashesBefore = CrashesCaught();
  for (std::size_t Position = 0; Position < aPlan.Entries.size(); ++Position) {
    if (aChannel.StopRequested() || InterruptSignal() != 0)
      return false;
    const THostPlanEntry& Entry = aPlan.Entries[Position];
    TUnitTestBase* UnitTest = Module.UnitTestList().GetItem(static_cast<int>(Entry.UnitTest));
    const auto Method = static_cast<int>(Entry.Method);
    try {
      UnitTest->RunMethodAt(Method, Entry.ExitOnly);
    } catch (...) {
      // Only a handler's error leaves a method; the host's handler has none
      // but the end of its parent, which ends the host anyway.
      EndIfForked();
      Leave(4);
    }
    EndIfForked();
    aSink.MarkOutput(true);
    aSink.MarkDropped();
    aChannel.Frames().MethodDone(static_cast<std::uint32_t>(Position),
                                 UnitTest->Methods().GetItem(Method)->TestResult());
    if (CrashesCaught() != CrashesBefore || aSink.Broken()) {
      aChannel.Frames().Retire();
      End(aChannel);
    }
    aChannel.Flush();
  }
  return !aChannel.StopRequested() && InterruptSignal() == 0;
}

void CheckVersion(std::uint32_t aVersion) {
  if (aVersion != HostProtocolVersion) {
    std::fprintf(stderr, "kalvoro-host: protocol version %u, expected %u\n", aVersion,
                 HostProtocolVersion);
    Leave(3);
  }
}

// Ends the host once the runner has closed its end: the modules unload
// first, as they would at a program's end (their static destructors run and
// coverage data is written); the runner bounds how long that may take.
[[noreturn]] void EndNormally(TLoadedModules& aModules, int aCode) {
  if (LeakCheck != nullptr) {
    // The end of a program: the modules' static destructors and atexit
    // handlers run with the modules still mapped, then LeakSanitizer's own
    // check at exit, whose report the runner reads from standard error.
    // An unloaded module would take with it what its globals still hold,
    // which no leak of a program's end is.
    std::fflush(nullptr);
    EndDescendants();
    std::exit(aCode);
  }
  for (auto& [Path, Loaded] : aModules) {
    try {
      if (Loaded.Module)
        Loaded.Module->UnloadModule();
    } catch (...) {
      // A shut-down that fails still ends the host.
    }
  }
  Leave(aCode);
}

// Reads the next plan, answering the listings asked for before it; ends the
// host with aEndCode when the runner closed its end or sent something else,
// and after a listing whose module's start-up crashed.
THostPlan NextPlan(TRunnerChannel& aChannel, TLoadedModules& aModules, int aEndCode) {
  // The crash handlers stay installed from one listing to the next: a
  // project's opening lists its modules in a row, and installing and
  // restoring them for each costs more system calls than the listing's own.
  const TSignalScope Guards;
  for (;;) {
    std::string Payload;
    THostFrame Kind{};
    if (!aChannel.ReadFrame(Payload, Kind))
      EndNormally(aModules, aModules.empty() ? aEndCode : 0);
    if (Kind == THostFrame::List) {
      const THostListRequest Request = DecodeListRequest(Payload);
      CheckVersion(Request.Version);
      // A host with a leak check keeps what it listed: an unloaded module
      // would leave what its globals held as leaks.
      const bool Fit =
          ListModule(aChannel, aModules, Request, Request.Release && LeakCheck == nullptr);
      std::fflush(nullptr);
      if (!Fit) {
        aChannel.Frames().Retire();
        End(aChannel);
      }
      aChannel.Frames().Finished();
      aChannel.FlushAndWake();
      continue;
    }
    if (Kind != THostFrame::Plan)
      EndNormally(aModules, aEndCode);
    THostPlan Plan = DecodePlan(Payload);
    CheckVersion(Plan.Version);
    return Plan;
  }
}

} // namespace

int HostMain(int argc, char** argv) {
  // What a host's start costs, and which one is installed, without a runner.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("kalvoro-host %s\n", KalvoroVersion);
    return 0;
  }
  if (argc != 5 || std::strcmp(argv[1], "--run") != 0) {
    std::fputs("kalvoro-host: runs tests for the kalvoro runner; not to be started by hand\n",
               stderr);
    return 2;
  }
  LeakCheck = ForgetPreload();
  const pid_t Parent = static_cast<pid_t>(std::atol(argv[4]));
  // Dies with the runner; a runner that ended before this line is seen too.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != Parent)
    EndProcessNow(3);
  AdoptOrphans();
  WatchForks();
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const int Ring = std::atoi(argv[3]);
  TRunnerChannel Channel(SecureDescriptors(std::atoi(argv[2]), Ring), Ring);
  // The host lives for runs only: a test's thread that checks or reports
  // while no method of its unit test runs is dropped and counted, as in a
  // run in process.
  const ThreadMessages::TRunScope RunScope;
  Channel.Frames().Hello();
  Channel.Flush();
  try {
    SetLoadTrialsEnabled(false);
    // A test that writes to a closed pipe gets EPIPE, as in the runner itself.
    std::signal(SIGPIPE, SIG_IGN);
    THostSink Sink(Channel, LeakCheck);
    TLoadedModules Modules;
    if (char* Directory = getcwd(nullptr, 0)) {
      StartDirectory = Directory;
      std::free(Directory);
    }
    // Each plan after the first was sent ahead while the one before ran, or
    // comes once the runner has read Finished: the host serves plans until
    // one leaves it unfit or the runner closes.
    for (int Plans = 0;; ++Plans) {
      const bool Serves =
          RunPlan(Channel, Sink, Modules, NextPlan(Channel, Modules, Plans == 0 ? 3 : 0)) &&
          !LeftSomethingBehind();
      Sink.MarkDropped();
      // Finished: it waits for another plan; Retire: it ends.
      if (!Serves) {
        Channel.Frames().Retire();
        End(Channel);
      }
      // The runner is woken for Finished: it waits for it to hand out the
      // next plan or to end the run, and would otherwise only see it at
      // its next look at the ring.
      Channel.Frames().Finished();
      std::fflush(nullptr);
      Channel.FlushAndWake();
    }
  } catch (const std::exception& Error) {
    std::fprintf(stderr, "kalvoro-host: %s\n", Error.what());
    Leave(3);
  }
}

} // namespace Kalvoro
