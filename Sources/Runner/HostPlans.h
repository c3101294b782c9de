// The runs of a scenario in hosts and their plans: the scenario's methods in
// run order, grouped by module (with several jobs, by unit test, but for a
// module whose host ends with it), each group's plan for a host, and the
// host that runs it: the one that was sent the plan ahead, an idle one of
// the pool, or a new one.
#pragma once

#include "HostRunState.h"

#include <cstddef>
#include <map>
#include <vector>

namespace Kalvoro {

class THostPool;

class THostPlans {
public:
  THostPlans(THostRunState& aRun, THostPool& aPool) : FRun(aRun), FPool(aPool) {}

  // Groups aPlan's methods into runs, in the order they begin.
  void Begin(const std::vector<TPlannedMethod>& aPlan);
  // Forgets the runs; their hosts end.
  void Clear();

  // The run that aUnitTest's methods belong to.
  THostRun& RunOf(const TUnitTestBase& aUnitTest);
  // The run of aRank, in the order the runs begin.
  THostRun& At(std::size_t aRank) { return FRuns[FOrder[aRank]]; }
  std::size_t Count() const { return FOrder.size(); }

  // Whether aModule's hosts look for leaks at their end: its unit tests
  // then run in one host, one after another, whatever the jobs.
  bool EndsWithItsHost(const TModule* aModule) const;

  // Gives aRun a host for its plan from aPosition (false: it gives up, with
  // THostRun::GiveUp saying why). A host started for it is Starting.
  bool TakeHost(THostRun& aRun, std::size_t aPosition, bool aExitOnly);
  // Sends aRun's host the plan of the run that comes next, when that one
  // runs wholly after aRun's and has not begun.
  void QueueNext(THostRun& aRun);
  // Moves the hosts of the runs that are done to the pool's idle ones.
  void Reclaim();

private:
  const void* RunKey(const TUnitTestBase& aUnitTest) const;
  // The plan of aRun's entries from aPosition; false when they belong to no
  // loaded module.
  bool MakePlan(const THostRun& aRun, std::size_t aPosition, bool aExitOnly,
                THostPlan& aPlan) const;
  // Whether aRun's module file is no longer the one its listing found.
  bool ListingChanged(const THostRun& aRun) const;
  // Gives aRun the host that was sent its whole plan ahead, once that host
  // has told that it finished the plan before; none when there is none.
  void TakeQueuedHost(THostRun& aRun);

  THostRunState& FRun;
  THostPool& FPool;
  std::map<const void*, THostRun> FRuns;
  std::vector<const void*> FOrder; // the runs in the order they begin
  mutable std::map<const TModule*, bool> FEndsWithHost;
};

} // namespace Kalvoro
