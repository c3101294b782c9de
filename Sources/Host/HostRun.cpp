#include "HostRun.h"

#include "Descendants.h"
#include "HostChannel.h"
#include "HostList.h"
#include "LoadedModules.h"
#include "Sanitizer.h"

#include "CrashGuard.h"
#include "Interruption.h"
#include "ModuleTrial.h"
#include "ThreadMessages.h"
#include "UnitTestBase.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace Kalvoro {

namespace {

// Set in a child that a test forked: such a process must never run the rest
// of the plan nor send a frame; it ends where it comes back to the host.
volatile bool ForkedChild = false;

void MarkForkedChild() {
  ForkedChild = true;
}

void EndIfForked() {
  if (ForkedChild)
    EndProcessNow(0);
}

// LeakSanitizer's check of the heap, where the runner started this host
// with a runtime that has one: non-zero when it found leaks, which it
// reported on the standard error.
using TLeakCheck = int (*)();
TLeakCheck LeakCheck = nullptr;

// The runner preloads a sanitizer's runtime (it must come first): the
// programs that tests start must not inherit it, and the user's own
// preload stays.
void ForgetPreload() {
  const char* Ours = std::getenv(PreloadedVariable);
  if (Ours == nullptr)
    return;
  const std::string Prefix = Ours;
  const char* Preload = std::getenv("LD_PRELOAD");
  std::string Rest = Preload != nullptr ? Preload : "";
  if (Rest.rfind(Prefix, 0) == 0)
    Rest.erase(0, Rest.size() > Prefix.size() ? Prefix.size() + 1 : Prefix.size());
  if (Rest.empty())
    unsetenv("LD_PRELOAD");
  else
    setenv("LD_PRELOAD", Rest.c_str(), 1);
  unsetenv(PreloadedVariable);
  LeakCheck = reinterpret_cast<TLeakCheck>(dlsym(RTLD_DEFAULT, "__lsan_do_recoverable_leak_check"));
}

// Sends every message that the runner's handlers consume, and every progress
// message, which the runner needs to know the running phase.
class THostSink {
public:
  explicit THostSink(THostChannel& aChannel) : FChannel(aChannel) {}

  void OnMessage(TMessageEventList* /*aSender*/, const TCustomMessage& aMessage) {
    EndIfForked();
    // At each phase's end the host looks at its channel: a phase that broke
    // it ends with that as its exception, while the ring still carries it.
    if (!FBroken && IsPhaseEnd(aMessage) && !FChannel.Intact()) {
      FBroken = true;
      MarkOutput(false);
      const auto& Phase = static_cast<const TMessageBase&>(aMessage);
      const TExceptionMessage Broken(
          Phase.ScenarioName(), Phase.UnitTestName(), Phase.MethodName(),
          "The test closed the channel from the test process to the runner");
      FChannel.Frames().Message(Broken, 0);
    }
    // A method that leaked ends with the leaks as an exception of its Exit,
    // and the host retires: the leaks stay in the heap, and a check after
    // the next method would find them again.
    if (LeakCheck != nullptr && !FLeaked && IsExitEnd(aMessage)) {
      std::fflush(nullptr);
      if (LeakCheck() != 0) {
        FLeaked = true;
        MarkOutput(true);
        const auto& Phase = static_cast<const TMessageBase&>(aMessage);
        const TExceptionMessage Leaks(Phase.ScenarioName(), Phase.UnitTestName(),
                                      Phase.MethodName(), "LeakSanitizer: detected memory leaks");
        FChannel.Frames().Message(Leaks, 0);
      }
    }
    // What the test wrote is told before each message that the runner may
    // print (a report, a failed check, an exception), so that it shows in its
    // place among the runner's own lines; the rest is told when the method
    // ends. Passing checks, which may come by the million, cost no call.
    if (MayBePrinted(aMessage))
      MarkOutput(false);
    // Only a phase's start needs the time (the runner's time limit counts
    // from it): a check costs no clock call.
    const bool Timed = aMessage.GetId() == MessageIdProgress;
    FChannel.Frames().Message(aMessage, Timed ? MonotonicNanoseconds() : 0);
    // Published at once: the ring costs no system call, and a host that
    // dies has then lost nothing it reported.
    FChannel.Flush();
  }

  // Flushes the test's standard output and error and tells the runner how
  // far their files (the runner's, passed as descriptors 1 and 2) now reach.
  void MarkOutput(bool aWithError) {
    std::fflush(stdout);
    const off_t Output = lseek(STDOUT_FILENO, 0, SEEK_CUR);
    off_t Error = FError;
    if (aWithError) {
      std::fflush(stderr);
      Error = lseek(STDERR_FILENO, 0, SEEK_CUR);
    }
    if (Output < 0 || Error < 0 || (Output == FOutput && Error == FError))
      return;
    FOutput = Output;
    FError = Error;
    FChannel.Frames().Output(static_cast<std::uint64_t>(Output), static_cast<std::uint64_t>(Error));
  }

  // Tells the runner how many more checks and reports of the tests' threads
  // were dropped, for its summary.
  void MarkDropped() {
    const unsigned Dropped = ThreadMessages::Dropped();
    if (Dropped == FDropped)
      return;
    FChannel.Frames().Dropped(Dropped - FDropped);
    FDropped = Dropped;
  }

  // Whether a test closed the channel or leaked: the host then serves no
  // further method.
  bool Broken() const { return FBroken || FLeaked; }

private:
  static bool IsPhaseEnd(const TCustomMessage& aMessage) {
    if (aMessage.GetId() != MessageIdProgress)
      return false;
    const TProgressType Type = static_cast<const TProgressMessage&>(aMessage).ProgressType();
    return Type == ptInitFinish || Type == ptMethodFinish || Type == ptExitFinish;
  }

  static bool IsExitEnd(const TCustomMessage& aMessage) {
    return aMessage.GetId() == MessageIdProgress &&
           static_cast<const TProgressMessage&>(aMessage).ProgressType() == ptExitFinish;
  }

  static bool MayBePrinted(const TCustomMessage& aMessage) {
    switch (aMessage.GetId()) {
    case MessageIdProgress:
      return false;
    case MessageIdCheck:
      return !static_cast<const TCheckMessage&>(aMessage).Success();
    default:
      return true;
    }
  }

  THostChannel& FChannel;
  off_t FOutput = 0;
  off_t FError = 0;
  unsigned FDropped = 0;
  bool FBroken = false;
  bool FLeaked = false;
};

// Moves the socket out of the way of descriptors that a test may dup2 onto,
// and closes everything but it, the ring and the three standard ones.
int SecureDescriptors(int aSocket, int aRing) {
  int Moved = fcntl(aSocket, F_DUPFD_CLOEXEC, 100);
  if (Moved < 0)
    return aSocket;
  close(aSocket);
  const int Low = std::min(Moved, aRing);
  const int High = std::max(Moved, aRing);
  if (Low > 3)
    close_range(3, static_cast<unsigned>(Low) - 1, 0);
  if (High > Low + 1)
    close_range(static_cast<unsigned>(Low) + 1, static_cast<unsigned>(High) - 1, 0);
  close_range(static_cast<unsigned>(High) + 1, ~0U, 0);
  return Moved;
}

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
      Problem = Error.what();
      if (!Module.LoaderError().empty())
        Problem += ": " + Module.LoaderError();
      return Problem;
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

// Ends the host with aCode, and first every process that its tests started.
[[noreturn]] void Leave(int aCode) {
  std::fflush(nullptr);
  EndDescendants();
  EndProcessNow(aCode);
}

// Ends the host after its last frames. What its tests started is ended
// first: the runner may kill the host as soon as it reads them.
[[noreturn]] void End(THostChannel& aChannel) {
  std::fflush(nullptr);
  EndDescendants();
  aChannel.Flush();
  EndProcessNow(0);
}

// Runs one plan; true when the host may serve another one.
bool RunPlan(THostChannel& aChannel, THostSink& aSink, TLoadedModules& aModules,
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
THostPlan NextPlan(THostChannel& aChannel, TLoadedModules& aModules, int aEndCode) {
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
      const bool Fit = ListModule(aChannel, aModules, Request);
      std::fflush(nullptr);
      if (!Fit || LeftSomethingBehind()) {
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
  ForgetPreload();
  const pid_t Parent = static_cast<pid_t>(std::atol(argv[4]));
  // Dies with the runner; a runner that ended before this line is seen too.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != Parent)
    EndProcessNow(3);
  AdoptOrphans();
  pthread_atfork(nullptr, nullptr, &MarkForkedChild);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const int Ring = std::atoi(argv[3]);
  THostChannel Channel(SecureDescriptors(std::atoi(argv[2]), Ring), Ring);
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
    THostSink Sink(Channel);
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
