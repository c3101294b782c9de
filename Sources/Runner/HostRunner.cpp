#include "HostRunner.h"

#include "PhaseNames.h"

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
  FReading = FNextAhead = 0;
  FAhead.clear();
  FReadingRun = nullptr;
  FReadingMethod = nullptr;
  FFinishedAhead = 0;
  FEndsWithHost.clear();
  std::size_t Order = 0;
  for (const auto& [UnitTest, Method, Named] : aPlan) {
    const int Index =
        UnitTest->Module() != nullptr ? UnitTest->Module()->UnitTestList().IndexOf(UnitTest) : -1;
    const void* const Key = RunKey(*UnitTest);
    TModuleRun& Run = FModules[Key];
    if (Run.Entries.empty()) {
      Run.Rank = FOrder.size();
      Run.First = Order;
      FOrder.push_back(Key);
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
  FAhead.clear();
  FReadingRun = nullptr;
  FReadingMethod = nullptr;
  FModules.clear();
  FOrder.clear();
  FScenario = nullptr;
  if (FFinishedAhead != 0) {
    FFinishedAhead = 0;
    ProgressChanged();
  }
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

const void* THostRunner::RunKey(const TUnitTestBase& aUnitTest) const {
  if (FJobs > 1 && !EndsWithItsHost(aUnitTest.Module()))
    return &aUnitTest;
  return aUnitTest.Module();
}

bool THostRunner::EndsWithItsHost(const TModule* aModule) const {
  if (aModule == nullptr)
    return false;
  const auto Known = FEndsWithHost.find(aModule);
  if (Known != FEndsWithHost.end())
    return Known->second;
  const THostRuntime Runtime =
      FLister != nullptr ? FLister->Runtime(*aModule) : HostRuntimeFor(aModule->LoadPath());
  return FEndsWithHost[aModule] = Runtime.ChecksLeaksAtEnd();
}

bool THostRunner::TakeHost(TModuleRun& aRun, std::size_t aPosition, bool aExitOnly, bool& aFresh) {
  aRun.Host.reset();
  DropBacklog(aRun);
  aRun.DoneAhead = 0;
  aRun.BegunAhead = false;
  aRun.StopOver = false;
  aRun.Queued = nullptr;
  aRun.HostFinishedOne = false;
  aRun.Started = true;
  aRun.PlanOver = false;
  aRun.StopSent = false;
  aRun.Broken.clear();
  aRun.Killed.clear();
  THostPlan Plan;
  if (!MakePlan(aRun, aPosition, aExitOnly, Plan)) {
    aRun.GiveUp = "The unit test belongs to no loaded module";
    return false;
  }
  // A host would load another file than the one listed: its methods end.
  if (ListingChanged(aRun)) {
    aRun.GiveUp = ModuleFileChangedText;
    return false;
  }
  if (!Plan.Runtime.Refusal.empty()) {
    aRun.GiveUp = Plan.Runtime.Refusal;
    return false;
  }
  aRun.Sanitized = Plan.Runtime.Sanitizers != 0;
  aRun.EndsWithHost = Plan.Runtime.ChecksLeaksAtEnd();
  try {
    if (aPosition == 0 && !aExitOnly)
      aRun.Host = QueuedHost(aRun);
    if (!aRun.Host)
      aRun.Host = IdleHost(Plan);
    if (!aRun.Host && FLister != nullptr)
      aRun.Host = FLister->TakeHost(Plan);
    aFresh = !aRun.Host;
    if (aFresh) {
      aRun.Host = std::make_unique<THostProcess>(Plan);
      ++FHostsStarted;
    }
    aRun.HostBase = aPosition;
  } catch (const std::exception& Error) {
    aRun.Host.reset();
    aRun.GiveUp = Error.what();
    return false;
  }
  return true;
}

void THostRunner::StartHost(TModuleRun& aRun, std::size_t aPosition, bool aExitOnly) {
  bool Fresh = false;
  if (!TakeHost(aRun, aPosition, aExitOnly, Fresh))
    return;
  FLookForReport = aRun.Sanitized;
  // A new host has until its hello, then its plan until its first phase.
  AwaitStart(Fresh);
  QueueNext(aRun);
}

void THostRunner::RunMethod(TUnitTestBase& aUnitTest, int aMethodIndex) {
  TModuleRun& Run = FModules[RunKey(aUnitTest)];
  FReading = Run.Rank;
  FReadingRun = &Run;
  // The recorded plan makes the run ask in the planned order; should it ask
  // for another method, that one runs in a host of its own.
  std::size_t Position = Run.Entries.size();
  for (std::size_t I = Run.Next; I < Run.Entries.size(); ++I)
    if (Run.Entries[I].UnitTest == &aUnitTest && Run.Entries[I].Method == aMethodIndex) {
      Position = I;
      break;
    }
  if (Run.Ahead)
    TakeOver(Run);
  // A host that would first run methods the run skipped is not the one.
  if (Position != Run.Next) {
    Run.Host.reset();
    DropBacklog(Run);
  }
  if (Position == Run.Entries.size()) {
    Run.Entries.push_back({&aUnitTest,
                           aUnitTest.Module() != nullptr
                               ? aUnitTest.Module()->UnitTestList().IndexOf(&aUnitTest)
                               : -1,
                           aMethodIndex});
  }
  RunAhead(false);
  TMethodRun Method{&aUnitTest, aUnitTest.Methods().GetItem(aMethodIndex), Position};
  FReadingMethod = &Method;
  struct TForget {
    const TMethodRun*& Reading;
    ~TForget() { Reading = nullptr; }
  } Forget{FReadingMethod};
  Method.Method->SetTestResult(tcrSuccess);
  FReport.Clear();
  FReportFired = false;
  FLookForReport = Run.Sanitized;
  bool ExitOnly = false;
  while (!Method.Done) {
    // Once the run stops no host starts, and a host whose plan ended after
    // the stop runs nothing more: the method stays not run.
    if ((FStop || InterruptSignal() != 0) && (Run.StopOver || (!Run.Host && Run.Backlog.Empty()))) {
      Method.Method->SetTestResult(tcrTodo);
      break;
    }
    if (!Run.GiveUp.empty()) {
      // Nothing of it can run: it reads as its first phase ending so.
      if (ExitOnly) {
        FireProgress(ptExitStart, Method, PhaseNames::Exit);
        FireException(Method, PhaseNames::Exit, Run.GiveUp);
        FireProgress(ptExitFinish, Method, PhaseNames::Exit);
      } else {
        EndPhase(Method, Run.GiveUp);
      }
      break;
    }
    if (!Run.Host && Run.Backlog.Empty()) {
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
    DropBacklog(Run);
    FPhaseStart = FStartBy = 0;
    FStalled = false;
    if (Pumped == TPumped::Restart) {
      // A host that ends its plan before running anything of it is broken.
      if (Early && ++Run.EarlyDeaths >= 2)
        Run.GiveUp = "The test process ended its plan without running it";
      continue;
    }
    if (FStopNow) {
      // One that a run ahead had not begun when its host was ended stays
      // not run.
      if (!Run.Killed.empty() && Method.Phase == TPhase::None && !Method.HostStarted)
        Method.Method->SetTestResult(tcrTodo);
      else
        EndPhase(Method, "Stopped by the user");
      Run.StopOver = true;
      break;
    }
    // A host that ends in an interrupted run gets no successor: a method it
    // had begun ends with its death, as at a stop now, else stays not run.
    if (InterruptSignal() != 0) {
      if (Method.Phase == TPhase::None && !Method.HostStarted)
        Method.Method->SetTestResult(tcrTodo);
      else
        EndPhase(Method, Death);
      Run.StopOver = true;
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

} // namespace Kalvoro
