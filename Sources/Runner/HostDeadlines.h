// The deadlines of the host that the runner reads, and the texts of a host
// that the runner kills at one:
// - from the host's start to its hello, and from its plan to the plan's
//   first phase: the time limit, or the listing's limit (10 s) when there is
//   none, so that a host or a module start-up that hangs (a lock a test
//   holds, a start-up that waits only in a host) cannot hang the run;
// - a running phase: its time limit plus the grace (the host's own limit
//   should have ended it);
// - after an interruption was passed on to the host: a few seconds, or a
//   second signal, as Morvane's second Stop, so that a test that ignores
//   the signal or stopped itself still lets the run end and write its
//   reports. With several jobs the first signal is a stop: a SIGTERM gives
//   the running methods those seconds, a Ctrl+C (SIGINT) lets them finish.
#pragma once

#include "HostRunState.h"

#include <cstdint>
#include <string>

namespace Kalvoro {

class THostDeadlines {
public:
  explicit THostDeadlines(THostRunState& aRun) : FRun(aRun) {}

  // The grace that a host's phase gets beyond its time limit before the
  // runner kills the host.
  void SetGrace(double aSeconds) { FGrace = aSeconds; }

  // Forgets the deadlines of the host read before.
  void Clear() {
    FPhaseStart = FStartBy = 0;
    FStalled = false;
  }
  // Forgets the running phase of the host read before, and its stall.
  void ClearPhase() {
    FPhaseStart = 0;
    FStalled = false;
  }
  // Sets the start deadline: to a new host's hello (aProcess) or to its
  // plan's first phase.
  void AwaitStart(bool aProcess);
  // The host's running phase began at aSince (0: none runs); a phase meets
  // the start deadline.
  void PhaseAt(std::int64_t aSince);
  // Whether the host was killed for missing its start deadline.
  bool Stalled() const { return FStalled; }
  // How long a host or its module may take to start, in seconds.
  double StartLimit() const;
  // The milliseconds to the nearest deadline (< 0: none), or 0 once one has
  // passed, with aDeath the text that the host's kill gives.
  int WaitMilliseconds(std::string& aDeath);

  // Passes aSignal on as the run's interruption, from now.
  void Forward(int aSignal);
  // Whether the hosts' time to end after an interruption has passed, and
  // the text of a host killed then.
  bool GraceOver() const;
  std::string GraceOverText() const;

  static std::int64_t Now();

private:
  // Whether the interruption passed on gives the hosts a grace at all.
  bool Graced() const;

  THostRunState& FRun;
  double FGrace = 2.0;
  // How long a host that was passed an interruption gets to end before the
  // runner kills it.
  double FInterruptGrace = 3.0;
  std::int64_t FPhaseStart = 0; // the host's start of its running phase, or 0
  std::int64_t FStartBy = 0;    // the deadline to the hello or first phase, or 0
  std::string FStartStall;      // the text of a host that missed it
  bool FStalled = false;        // the host was killed for missing it
};

} // namespace Kalvoro
