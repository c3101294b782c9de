// The host runner: the scenario's run asks for each method in run order;
// the runner gives the method's run a host where it has none, reads the
// host until the method is done, and when the host dies on the way ends the
// phase it cut short and runs the method's Exit in a fresh host.
#include "HostRunner.h"

#include "HostLister.h"
#include "RecordedPlan.h"

#include "Interruption.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

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
    : FRun(aWait ? std::move(aWait) : TWaitHook(PollWait)),
      FPool(FRun, dynamic_cast<THostLister*>(ModuleLister())), FOutput(), FReplay(FRun, FOutput),
      FDeadlines(FRun), FPlans(FRun, FPool), FAhead(FRun, FPlans, FPool, FDeadlines, FOutput),
      FReader(FRun, FReplay, FOutput, FDeadlines, FAhead, FWake[0]),
      FModuleEnd(FRun, FReplay, FOutput, FDeadlines) {
  if (pipe2(FWake, O_CLOEXEC | O_NONBLOCK) != 0)
    FWake[0] = FWake[1] = -1;
}

THostRunner::~THostRunner() {
  // The runs' hosts end; the pool's waiting ones go back to the lister, or
  // end, as the pool goes.
  FPlans.Clear();
  for (const int Descriptor : FWake)
    if (Descriptor >= 0)
      close(Descriptor);
}

void THostRunner::Stop() {
  FRun.Stop = true;
  if (FWake[1] >= 0)
    (void)write(FWake[1], "s", 1);
}

void THostRunner::StopNow() {
  FRun.Stop = true;
  FRun.StopNow = true;
  if (FWake[1] >= 0)
    (void)write(FWake[1], "s", 1);
}

void THostRunner::Begin(TTestScenario& aScenario, const std::vector<TPlannedMethod>& aPlan) {
  FRun.Scenario = &aScenario;
  FRun.Stop = FRun.StopNow = FRun.StopSent = false;
  FRun.Forwarded = 0;
  FRun.Dropped = 0;
  FRun.Reading = 0;
  FRun.ReadingRun = nullptr;
  FRun.ReadingMethod = nullptr;
  FRun.FinishedAhead = 0;
  FDeadlines.Clear();
  FOutput.Clear();
  FAhead.Clear();
  FPlans.Begin(aPlan);
}

void THostRunner::End(bool aCompleted) {
  // The hosts that are done wait for the next scenario's plans; after an
  // error every host ends with what it started.
  if (aCompleted)
    FPlans.Reclaim();
  FAhead.Clear();
  FRun.ReadingRun = nullptr;
  FRun.ReadingMethod = nullptr;
  FPlans.Clear();
  FRun.Scenario = nullptr;
  if (FRun.FinishedAhead != 0) {
    FRun.FinishedAhead = 0;
    FRun.ProgressChanged();
  }
}

bool THostRunner::StopRequested() const {
  return (FRun.Stop || InterruptSignal() != 0) && !FAhead.Finishing();
}

bool THostRunner::FinishingAhead() const {
  return FAhead.Finishing();
}

bool THostRunner::OldestRunning(TRunningMethod& aMethod) const {
  return FAhead.OldestRunning(aMethod);
}

std::string THostRunner::MethodOutput(const TUnitTestMethod& aMethod) const {
  return FOutput.Kept(aMethod);
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

void THostRunner::StartHost(THostRun& aRun, std::size_t aPosition, bool aExitOnly) {
  if (!FPlans.TakeHost(aRun, aPosition, aExitOnly))
    return;
  FOutput.LookForReport(aRun.Sanitized);
  // A new host has until its hello, then its plan until its first phase.
  FDeadlines.AwaitStart(aRun.Host.State == THostState::Starting);
  FPlans.QueueNext(aRun);
}

std::size_t THostRunner::Position(THostRun& aRun, TUnitTestBase& aUnitTest, int aMethodIndex) {
  for (std::size_t I = aRun.Next; I < aRun.Entries.size(); ++I)
    if (aRun.Entries[I].UnitTest == &aUnitTest && aRun.Entries[I].Method == aMethodIndex)
      return I;
  aRun.Entries.push_back(
      {&aUnitTest,
       aUnitTest.Module() != nullptr ? aUnitTest.Module()->UnitTestList().IndexOf(&aUnitTest) : -1,
       aMethodIndex});
  return aRun.Entries.size() - 1;
}

void THostRunner::RunMethod(TUnitTestBase& aUnitTest, int aMethodIndex) {
  THostRun& Run = FPlans.RunOf(aUnitTest);
  FRun.Reading = Run.Rank;
  FRun.ReadingRun = &Run;
  // The recorded plan makes the run ask in the planned order; should it ask
  // for another method, that one runs in a host of its own.
  const std::size_t Position = this->Position(Run, aUnitTest, aMethodIndex);
  if (Run.Ahead)
    FAhead.TakeOver(Run);
  // A host that would first run methods the run skipped is not the one.
  if (Position != Run.Next) {
    Run.Host.Drop();
    FRun.DropBacklog(Run);
  }
  FAhead.Run(false);
  THostMethod Method{&aUnitTest, aUnitTest.Methods().GetItem(aMethodIndex), Position};
  FRun.ReadingMethod = &Method;
  struct TForget {
    const THostMethod*& Reading;
    ~TForget() { Reading = nullptr; }
  } Forget{FRun.ReadingMethod};
  Method.Method->SetTestResult(tcrSuccess);
  FOutput.RestartReport();
  FOutput.LookForReport(Run.Sanitized);
  bool ExitOnly = false;
  while (!Method.Done) {
    // Once the run stops no host starts, and a host whose plan ended after
    // the stop runs nothing more: the method stays not run.
    if ((FRun.Stop || InterruptSignal() != 0) &&
        (Run.StopOver || (!Run.Host && Run.Backlog.Empty()))) {
      Method.Method->SetTestResult(tcrTodo);
      break;
    }
    if (!Run.GiveUp.empty()) {
      // Nothing of it can run: it reads as its first phase ending so.
      if (ExitOnly)
        FReplay.EndExit(Method, Run.GiveUp);
      else
        FReplay.EndPhase(Method, Run.GiveUp);
      break;
    }
    if (!Run.Host && Run.Backlog.Empty()) {
      StartHost(Run, Position, ExitOnly);
      Method.HostStarted = false;
      continue;
    }
    Method.EndsModule = Run.EndsWithHost && Position + 1 == Run.Entries.size();
    std::string Death;
    const TPumped Pumped = FReader.Pump(Run, Method, Death);
    if (Pumped == TPumped::Done)
      break;
    const bool Early = !Run.Host.FinishedOne && !Method.HostStarted;
    const bool Stalled = FDeadlines.Stalled();
    Run.Host.Drop();
    FRun.DropBacklog(Run);
    FDeadlines.Clear();
    if (Pumped == TPumped::Restart) {
      // A host that ends its plan before running anything of it is broken.
      if (Early && ++Run.EarlyDeaths >= 2)
        Run.GiveUp = "The test process ended its plan without running it";
      continue;
    }
    if (FRun.StopNow) {
      // One that a run ahead had not begun when its host was ended stays
      // not run.
      if (!Run.Killed.empty() && Method.Phase == THostPhase::None && !Method.HostStarted)
        Method.Method->SetTestResult(tcrTodo);
      else
        FReplay.EndPhase(Method, "Stopped by the user");
      Run.StopOver = true;
      break;
    }
    // A host that ends in an interrupted run gets no successor: a method it
    // had begun ends with its death, as at a stop now, else stays not run.
    if (InterruptSignal() != 0) {
      if (Method.Phase == THostPhase::None && !Method.HostStarted)
        Method.Method->SetTestResult(tcrTodo);
      else
        FReplay.EndPhase(Method, Death);
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
    if (FReplay.EndPhase(Method, Death) && !ExitOnly) {
      // Exit always runs: in a fresh host.
      ExitOnly = true;
      Method.Phase = THostPhase::AfterMethod;
      continue;
    }
    break;
  }
  if (Method.ExitHeld)
    FModuleEnd.End(Run, Method);
  if (Method.Done || Method.Phase != THostPhase::None)
    Run.EarlyDeaths = 0;
  Run.Next = Position + 1;
}

} // namespace Kalvoro
