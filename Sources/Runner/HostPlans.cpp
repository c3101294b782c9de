// The runs' plans and the hosts they get. A host that finished a plan
// cleanly serves the next run's (of this scenario or a later one of the
// same runner), so that few hosts start, and is sent the next run's plan
// ahead, so that it loads and runs on while this process still reads.
#include "HostPlans.h"

#include "HostLister.h"
#include "HostProcess.h"
#include "HostProtocol.h"
#include "ModuleLister.h"

#include <exception>

namespace Kalvoro {

void THostPlans::Begin(const std::vector<TPlannedMethod>& aPlan) {
  Clear();
  std::size_t Order = 0;
  for (const auto& [UnitTest, Method, Named] : aPlan) {
    const int Index =
        UnitTest->Module() != nullptr ? UnitTest->Module()->UnitTestList().IndexOf(UnitTest) : -1;
    const void* const Key = RunKey(*UnitTest);
    THostRun& Run = FRuns[Key];
    if (Run.Entries.empty()) {
      Run.Rank = FOrder.size();
      Run.First = Order;
      FOrder.push_back(Key);
    }
    Run.Last = Order++;
    Run.Entries.push_back({UnitTest, Index, Method});
  }
}

void THostPlans::Clear() {
  FRuns.clear();
  FOrder.clear();
  FEndsWithHost.clear();
}

THostRun& THostPlans::RunOf(const TUnitTestBase& aUnitTest) {
  return FRuns[RunKey(aUnitTest)];
}

const void* THostPlans::RunKey(const TUnitTestBase& aUnitTest) const {
  if (FRun.Jobs > 1 && !EndsWithItsHost(aUnitTest.Module()))
    return &aUnitTest;
  return aUnitTest.Module();
}

bool THostPlans::EndsWithItsHost(const TModule* aModule) const {
  if (aModule == nullptr)
    return false;
  const auto Known = FEndsWithHost.find(aModule);
  if (Known != FEndsWithHost.end())
    return Known->second;
  THostLister* const Lister = FPool.Lister();
  const THostRuntime Runtime =
      Lister != nullptr ? Lister->Runtime(*aModule) : HostRuntimeFor(aModule->LoadPath());
  return FEndsWithHost[aModule] = Runtime.ChecksLeaksAtEnd();
}

bool THostPlans::MakePlan(const THostRun& aRun, std::size_t aPosition, bool aExitOnly,
                          THostPlan& aPlan) const {
  const THostEntry& First = aRun.Entries[aPosition];
  const TModule* Module = First.UnitTest->Module();
  if (Module == nullptr || First.UnitTestIndex < 0)
    return false;
  THostLister* const Lister = FPool.Lister();
  aPlan.ModulePath = Module->LoadPath();
  // A listed module runs the file that was listed; one loaded here, the
  // file that it loaded.
  const TModuleFileIdentity* Listed = Lister != nullptr ? Lister->Identity(*Module) : nullptr;
  aPlan.Module = Listed != nullptr ? *Listed : Module->LoadedIdentity();
  aPlan.Runtime = Lister != nullptr ? Lister->Runtime(*Module) : HostRuntimeFor(aPlan.ModulePath);
  aPlan.ScenarioName = FRun.Scenario->Name();
  aPlan.TimeLimit = FRun.Scenario->TimeLimit();
  // What the host must send: what the handlers consume, and always the
  // progress (the running phase), failed checks and exceptions (a method's
  // result).
  aPlan.ConsumedIds = FRun.Scenario->StateNotifications().ConsumedIds() |
                      MessageIdBit(MessageIdProgress) | MessageIdBit(MessageIdException) |
                      FailedChecksBit;
  for (std::size_t I = aPosition; I < aRun.Entries.size(); ++I) {
    const THostEntry& Entry = aRun.Entries[I];
    aPlan.Entries.push_back({static_cast<std::uint32_t>(Entry.UnitTestIndex),
                             Entry.UnitTest->Name(), static_cast<std::uint32_t>(Entry.Method),
                             aExitOnly && I == aPosition});
  }
  return true;
}

bool THostPlans::ListingChanged(const THostRun& aRun) const {
  const TModule* Module = aRun.Entries.front().UnitTest->Module();
  THostLister* const Lister = FPool.Lister();
  const TModuleFileIdentity* Listed = Lister != nullptr ? Lister->Identity(*Module) : nullptr;
  if (Listed == nullptr)
    return Module->FileChangedSinceLoad();
  TModuleFileIdentity Now;
  return !ModuleFileIdentity(Module->LoadPath(), Now) || Now != *Listed;
}

bool THostPlans::TakeHost(THostRun& aRun, std::size_t aPosition, bool aExitOnly) {
  aRun.Host.Drop();
  FRun.DropBacklog(aRun);
  aRun.DoneAhead = 0;
  aRun.BegunAhead = false;
  aRun.StopOver = false;
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
      TakeQueuedHost(aRun);
    if (!aRun.Host) {
      Reclaim();
      FPool.Take(aRun.Host, Plan);
    }
    aRun.HostBase = aPosition;
  } catch (const std::exception& Error) {
    aRun.Host.Drop();
    aRun.GiveUp = Error.what();
    return false;
  }
  return true;
}

void THostPlans::QueueNext(THostRun& aRun) {
  // With several jobs the next unit tests run ahead in hosts of their own.
  if (FRun.Jobs > 1 || !aRun.Host || FRun.Stopping() || aRun.Rank + 1 >= FOrder.size())
    return;
  const void* const Key = FOrder[aRun.Rank + 1];
  const THostRun& Next = FRuns[Key];
  // Only aRun's host can have been sent it: the plan of a run goes ahead
  // only to the host of the run just before it.
  if (Next.Host || Next.Next != 0 || !Next.GiveUp.empty() || Next.First <= aRun.Last)
    return;
  THostPlan Plan;
  if (MakePlan(Next, 0, false, Plan) && aRun.Host->Queue(Plan))
    aRun.Host.Queued = Key;
}

void THostPlans::TakeQueuedHost(THostRun& aRun) {
  if (FRun.Jobs > 1 || aRun.Rank == 0 || aRun.Rank >= FOrder.size())
    return;
  THostRun& Before = FRuns[FOrder[aRun.Rank - 1]];
  if (!Before.Host || Before.Host.Queued != FOrder[aRun.Rank])
    return;
  TPooledHost Host = std::move(Before.Host);
  Before.Host = TPooledHost();
  Host.Queued = nullptr;
  // One that still has methods of its own that the run skipped, or that
  // retired, ends here; this plan then goes to another host.
  if (Before.Next < Before.Entries.size() || FRun.Stopping() || !FPool.AwaitIdle(Host)) {
    Host.Drop();
    return;
  }
  Host.FinishedOne = false;
  Host.Become(THostState::Running);
  aRun.Host = std::move(Host);
}

void THostPlans::Reclaim() {
  // A host that was told to stop, or whose group got a signal, serves no
  // further plan; nor does one of a run that stops.
  if (FRun.Stopping())
    return;
  for (auto& [Key, Run] : FRuns) {
    if (!Run.Host || Run.Next < Run.Entries.size())
      continue;
    TPooledHost Host = std::move(Run.Host);
    Run.Host = TPooledHost();
    // One that was sent a plan that nobody took runs it now, and one that
    // retires serves nothing more: they end.
    if (Host.Queued == nullptr && Host.State != THostState::Retiring && FPool.AwaitIdle(Host))
      FPool.Keep(Host);
    else
      Host.Drop();
  }
}

} // namespace Kalvoro
