// The runs ahead, with several jobs: while the run reads one unit test's
// host, the unit tests after it start in hosts of their own, as many as the
// jobs allow, and whatever their hosts send is read at once into their
// backlogs (their output too, so that a host can serve another plan as soon
// as it finished its own), so that no host ever waits for the runner. When
// the run comes to such a unit test it reads its backlog first, then its
// host, as if it had been read all along: the messages fire in the run's
// order and the reports are those of a serial run. A unit test named
// serial starts only when the run comes to it, and nothing starts beside it.
#pragma once

#include "HostRunState.h"
#include "RunProgress.h"

#include <cstddef>
#include <vector>

namespace Kalvoro {

class THostDeadlines;
class THostOutput;
class THostPlans;
class THostPool;
struct THostFrameView;

class THostAhead {
public:
  THostAhead(THostRunState& aRun, THostPlans& aPlans, THostPool& aPool, THostDeadlines& aDeadlines,
             THostOutput& aOutput)
      : FRun(aRun), FPlans(aPlans), FPool(aPool), FDeadlines(aDeadlines), FOutput(aOutput) {}

  // Forgets the runs ahead of the last scenario.
  void Clear();
  // Starts the unit tests after the one being read while the jobs allow,
  // and reads what their hosts sent into their backlogs; aLook: the ring
  // alone, without a system call. Passes a stop, or a kill, on to them.
  void Run(bool aLook);
  // The run reads aRun now: its backlog first, then its host.
  void TakeOver(THostRun& aRun);
  // The descriptors of the hosts that run ahead, to wait for too.
  void AddDescriptors(std::vector<int>& aDescriptors) const;
  // The next frame of aRun: its backlog's, then its host's. The output that
  // was read ahead is shown here and handled (true with aShown).
  bool NextFrame(THostRun& aRun, const THostMethod& aMethod, THostFrameView& aFrame, bool& aShown);
  // Whether runs ahead still hold what finished after a stop, so that the
  // run asks on for it.
  bool Finishing() const;
  // The oldest method that runs, ahead or being read.
  bool OldestRunning(TRunningMethod& aMethod) const;

private:
  bool Serial(const THostRun& aRun) const;
  void Start(THostRun& aRun);
  void Read(THostRun& aRun, bool aLook);
  void Stop();

  THostRunState& FRun;
  THostPlans& FPlans;
  THostPool& FPool;
  THostDeadlines& FDeadlines;
  THostOutput& FOutput;
  std::size_t FNextAhead = 0;    // the rank of the next run to start ahead
  std::vector<THostRun*> FAhead; // the runs started ahead, not read yet
};

} // namespace Kalvoro
