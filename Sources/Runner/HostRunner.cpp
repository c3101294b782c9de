#include "HostRunner.h"

#include "HostLister.h"
#include "HostMessages.h"
#include "HostProcess.h"
#include "HostProtocol.h"
#include "RecordedPlan.h"

#include "CrashGuard.h"
#include "Interruption.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace Kalvoro {

namespace {

// How often a waiting runner looks at a running host's ring, in ms.
constexpr int RingLook = 2;

} // namespace

void PollWait(const std::vector<int>& aDescriptors, int aMilliseconds) {
  // A wait of 0 ms only lets a program's events through: there are none
  // here, and a poll per look at the ring would cost a system call for each
  // of a run's methods.
  if (aMilliseconds == 0)
    return;
  std::vector<pollfd> Polled;
  for (const int Descriptor : aDescriptors)
    Polled.push_back({Descriptor, POLLIN, 0});
  // A signal (an interruption) ends the wait early; the caller looks again.
  poll(Polled.data(), Polled.size(), aMilliseconds);
}

THostRunner::THostRunner(TWaitHook aWait)
    : FWait(std::move(aWait)), FLister(dynamic_cast<THostLister*>(ModuleLister())) {
  if (!FWait)
    FWait = PollWait;
  if (pipe2(FWake, O_CLOEXEC | O_NONBLOCK) != 0)
    FWake[0] = FWake[1] = -1;
}

THostRunner::~THostRunner() {
  FModules.clear();
  // The hosts that wait for a plan go back to the lister, or end.
  if (FLister != nullptr)
    for (std::unique_ptr<THostProcess>& Host : FIdle)
      FLister->GiveBack(std::move(Host));
  else
    EndWaitingHosts(FIdle, 3.0);
  FIdle.clear();
  for (const int Descriptor : FWake)
    if (Descriptor >= 0)
      close(Descriptor);
}

void THostRunner::Stop() {
  FStop = true;
  if (FWake[1] >= 0)
    (void)write(FWake[1], "s", 1);
}

void THostRunner::StopNow() {
  FStop = true;
  FStopNow = true;
  if (FWake[1] >= 0)
    (void)write(FWake[1], "s", 1);
}

void THostRunner::Begin(TTestScenario& aScenario, const std::vector<TPlannedMethod>& aPlan) {
  FScenario = &aScenario;
  FModules.clear();
  FOrder.clear();
  FStop = FStopNow = FStopSent = false;
  FForwarded = 0;
  FPhaseStart = FStartBy = 0;
  FStalled = false;
  FOutputs.clear();
  FDropped = 0;
  std::size_t Order = 0;
  for (const auto& [UnitTest, Method, Named] : aPlan) {
    const int Index =
        UnitTest->Module() != nullptr ? UnitTest->Module()->UnitTestList().IndexOf(UnitTest) : -1;
    TModuleRun& Run = FModules[UnitTest->Module()];
    if (Run.Entries.empty()) {
      Run.Rank = FOrder.size();
      Run.First = Order;
      FOrder.push_back(UnitTest->Module());
    }
    Run.Last = Order++;
    Run.Entries.push_back({UnitTest, Index, Method});
  }
}

void THostRunner::End(bool aCompleted) {
  // The hosts that are done wait for the next scenario's plans; after an
  // error every host ends with what it started.
  if (aCompleted)
    ReclaimHosts();
  FModules.clear();
  FOrder.clear();
  FScenario = nullptr;
}

void THostRunner::Run(TTestScenario& aScenario) {
  TRunPlan* const Original = aScenario.RunPlan();
  TRecordedPlan Recorded(Original);
  std::vector<TPlannedMethod> Plan;
  for (const auto& [UnitTest, Method] : Recorded.Record(aScenario))
    Plan.push_back({UnitTest, Method});
  Begin(aScenario, Plan);
  aScenario.SetRunPlan(&Recorded);
  aScenario.SetMethodRunner(this);
  auto Restore = [&](bool aCompleted) {
    aScenario.SetRunPlan(Original);
    aScenario.SetMethodRunner(nullptr);
    End(aCompleted);
  };
  try {
    aScenario.Run();
  } catch (...) {
    Restore(false);
    throw;
  }
  Restore(true);
}

bool THostRunner::MakePlan(const TModuleRun& aRun, std::size_t aPosition, bool aExitOnly,
                           THostPlan& aPlan) const {
  const TEntry& First = aRun.Entries[aPosition];
  const TModule* Module = First.UnitTest->Module();
  if (Module == nullptr || First.UnitTestIndex < 0)
    return false;
  aPlan.ModulePath = Module->LoadPath();
  // A listed module runs the file that was listed; one loaded here, the
  // file that it loaded.
  const TModuleFileIdentity* Listed = FLister != nullptr ? FLister->Identity(*Module) : nullptr;
  aPlan.Module = Listed != nullptr ? *Listed : Module->LoadedIdentity();
  aPlan.Runtime = FLister != nullptr ? FLister->Runtime(*Module) : HostRuntimeFor(aPlan.ModulePath);
  aPlan.ScenarioName = FScenario->Name();
  aPlan.TimeLimit = FScenario->TimeLimit();
  // What the host must send: what the handlers consume, and always the
  // progress (the running phase), failed checks and exceptions (a method's
  // result).
  aPlan.ConsumedIds = FScenario->StateNotifications().ConsumedIds() |
                      MessageIdBit(MessageIdProgress) | MessageIdBit(MessageIdException) |
                      FailedChecksBit;
  for (std::size_t I = aPosition; I < aRun.Entries.size(); ++I) {
    const TEntry& Entry = aRun.Entries[I];
    aPlan.Entries.push_back({static_cast<std::uint32_t>(Entry.UnitTestIndex),
                             Entry.UnitTest->Name(), static_cast<std::uint32_t>(Entry.Method),
                             aExitOnly && I == aPosition});
  }
  return true;
}

bool THostRunner::ListingChanged(const TModuleRun& aRun) const {
  const TModule* Module = aRun.Entries.front().UnitTest->Module();
  const TModuleFileIdentity* Listed = FLister != nullptr ? FLister->Identity(*Module) : nullptr;
  if (Listed == nullptr)
    return Module->FileChangedSinceLoad();
  TModuleFileIdentity Now;
  return !ModuleFileIdentity(Module->LoadPath(), Now) || Now != *Listed;
}

void THostRunner::StartHost(TModuleRun& aRun, std::size_t aPosition, bool aExitOnly) {
  aRun.Host.reset();
  aRun.Queued = nullptr;
  aRun.HostFinishedOne = false;
  THostPlan Plan;
  if (!MakePlan(aRun, aPosition, aExitOnly, Plan)) {
    aRun.GiveUp = "The unit test belongs to no loaded module";
    return;
  }
  // A host would load another file than the one listed: its methods end.
  if (ListingChanged(aRun)) {
    aRun.GiveUp = ModuleFileChangedText;
    return;
  }
  if (!Plan.Runtime.Refusal.empty()) {
    aRun.GiveUp = Plan.Runtime.Refusal;
    return;
  }
  aRun.Sanitized = Plan.Runtime.Sanitizers != 0;
  aRun.EndsWithHost = Plan.Runtime.ChecksLeaksAtEnd();
  FLookForReport = aRun.Sanitized;
  try {
    if (aPosition == 0 && !aExitOnly)
      aRun.Host = QueuedHost(aRun);
    if (!aRun.Host)
      aRun.Host = IdleHost(Plan);
    if (!aRun.Host && FLister != nullptr)
      aRun.Host = FLister->TakeHost(Plan);
    const bool Fresh = !aRun.Host;
    if (Fresh) {
      aRun.Host = std::make_unique<THostProcess>(Plan);
      ++FHostsStarted;
    }
    // A new host has until its hello, then its plan until its first phase.
    AwaitStart(Fresh);
    aRun.HostBase = aPosition;
    QueueNext(aRun);
  } catch (const std::exception& Error) {
    aRun.GiveUp = Error.what();
  }
}

void THostRunner::RunMethod(TUnitTestBase& aUnitTest, int aMethodIndex) {
  TModuleRun& Run = FModules[aUnitTest.Module()];
  // The recorded plan makes the run ask in the planned order; should it ask
  // for another method, that one runs in a host of its own.
  std::size_t Position = Run.Entries.size();
  for (std::size_t I = Run.Next; I < Run.Entries.size(); ++I)
    if (Run.Entries[I].UnitTest == &aUnitTest && Run.Entries[I].Method == aMethodIndex) {
      Position = I;
      break;
    }
  // A host that would first run methods the run skipped is not the one.
  if (Position != Run.Next)
    Run.Host.reset();
  if (Position == Run.Entries.size()) {
    Run.Entries.push_back({&aUnitTest,
                           aUnitTest.Module() != nullptr
                               ? aUnitTest.Module()->UnitTestList().IndexOf(&aUnitTest)
                               : -1,
                           aMethodIndex});
  }
  TMethodRun Method{&aUnitTest, aUnitTest.Methods().GetItem(aMethodIndex), Position};
  Method.Method->SetTestResult(tcrSuccess);
  FReport.Clear();
  FReportFired = false;
  FLookForReport = Run.Sanitized;
  bool ExitOnly = false;
  while (!Method.Done) {
    if (!Run.GiveUp.empty()) {
      // Nothing of it can run: it reads as its first phase ending so.
      if (ExitOnly) {
        FireProgress(ptExitStart, Method, ExitPhaseName);
        FireException(Method, ExitPhaseName, Run.GiveUp);
        FireProgress(ptExitFinish, Method, ExitPhaseName);
      } else {
        EndPhase(Method, Run.GiveUp);
      }
      break;
    }
    if (!Run.Host) {
      // Once the run is interrupted no host starts: the method stays not run.
      if (InterruptSignal() != 0) {
        Method.Method->SetTestResult(tcrTodo);
        break;
      }
      StartHost(Run, Position, ExitOnly);
      Method.HostStarted = false;
      continue;
    }
    Method.EndsModule = Run.EndsWithHost && Position + 1 == Run.Entries.size();
    std::string Death;
    const TPumped Pumped = Pump(Run, Method, Death);
    if (Pumped == TPumped::Done)
      break;
    const bool Early = !Run.HostFinishedOne && !Method.HostStarted;
    const bool Stalled = FStalled;
    Run.Host.reset();
    FPhaseStart = FStartBy = 0;
    FStalled = false;
    if (Pumped == TPumped::Restart) {
      // A host that ends its plan before running anything of it is broken.
      if (Early && ++Run.EarlyDeaths >= 2)
        Run.GiveUp = "The test process ended its plan without running it";
      continue;
    }
    if (FStopNow) {
      EndPhase(Method, "Stopped by the user");
      break;
    }
    // A host that ends in an interrupted run gets no successor: a method it
    // had begun ends with its death, as at a stop now, else stays not run.
    if (InterruptSignal() != 0) {
      if (Method.Phase == TPhase::None && !Method.HostStarted)
        Method.Method->SetTestResult(tcrTodo);
      else
        EndPhase(Method, Death);
      break;
    }
    if (Early && Run.GiveUp.empty()) {
      // A host that ends before its first method may have met a passing
      // fault; twice in a row it is the module. One that missed its deadline
      // to start would only keep the next one waiting as long.
      if (++Run.EarlyDeaths >= 2 || Stalled)
        Run.GiveUp = Death;
      continue;
    }
    if (EndPhase(Method, Death) && !ExitOnly) {
      // Exit always runs: in a fresh host.
      ExitOnly = true;
      Method.Phase = TPhase::AfterMethod;
      continue;
    }
    break;
  }
  if (Method.ExitHeld)
    EndModuleHost(Run, Method);
  if (Method.Done || Method.Phase != TPhase::None)
    Run.EarlyDeaths = 0;
  Run.Next = Position + 1;
}

THostRunner::TPumped THostRunner::Read(TModuleRun& aRun, TMethodRun& aMethod, std::string& aDeath) {
  // A second SIGINT or SIGTERM while the runner reads a host kills the host.
  const TTakeSecondInterruption SecondSignal;
  // The frames read before come first, the ring after them: a host that runs
  // ahead waits in its ring, not in this process's memory.
  bool Ended = false;
  bool Look = true; // whether to look at the ring again before sleeping
  for (;;) {
    TPumped Result = TPumped::Done;
    THostFrameView Frame{};
    while (aRun.Host->Next(Frame)) {
      Look = true;
      if (!Handle(aRun, aMethod, Frame.Kind, Frame.Payload, Result, aDeath))
        return Result;
    }
    if (Ended) {
      if (!aRun.Host->HasEnded())
        aRun.Host->AwaitEnd(1.0);
      // What it wrote last (a sanitizer's report, say) belongs to the method.
      TakeOutput(*aRun.Host, aMethod, UINT64_MAX, UINT64_MAX);
      FReport.Finish();
      // A sanitizer ends its host after its report: the report's first line
      // says why.
      aDeath = !FDeath.empty()   ? FDeath
               : FReport.Found() ? FReport.Headline()
                                 : aRun.Host->DeathText();
      FDeath.clear();
      return TPumped::Ended;
    }
    // SIGINT or SIGTERM to the runner goes on to the host's process group:
    // the host ends its phase as the runner would in process.
    if (const int Signal = InterruptSignal(); Signal != 0 && FForwarded == 0) {
      FForwarded = Signal;
      FForwardedAt = Now();
      aRun.Host->Signal(Signal);
    }
    if (FStop && !FStopSent) {
      FStopSent = true;
      aRun.Host->SendStop();
    }
    if (FStopNow) {
      FDeath = "Stopped by the user";
      aRun.Host->Kill();
      Ended = !aRun.Host->Receive();
      continue;
    }
    int Wait = WaitMilliseconds(FDeath);
    if (Wait == 0) {
      aRun.Host->Kill();
      Ended = !aRun.Host->Receive();
      continue;
    }
    // The host publishes to its ring without waking this process unless the
    // ring fills up: after frames the ring is looked at again at once (the
    // wait only lets the program's events through), else every few
    // milliseconds.
    Wait = Look ? 0 : Wait < 0 ? RingLook : std::min(Wait, RingLook);
    Look = false;
    std::vector<int> Descriptors = aRun.Host->Descriptors();
    if (FWake[0] >= 0)
      Descriptors.push_back(FWake[0]);
    Outside([&] { FWait(Descriptors, Wait); });
    // A wake-up that a look without waiting left in the pipe ends the next
    // wait at once, which drains it.
    char Drain[64];
    while (Wait > 0 && FWake[0] >= 0 && read(FWake[0], Drain, sizeof Drain) > 0) {
    }
    // A look without waiting takes the ring alone; the socket and the end
    // are read before the next wait.
    if (Wait == 0) {
      aRun.Host->LookAtRing();
      continue;
    }
    Ended = !aRun.Host->Receive();
  }
}

} // namespace Kalvoro
