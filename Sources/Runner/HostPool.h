// The runner's hosts and their states. A run's host is a TPooledHost: the
// process and where it stands in its life, changed in one place (Become).
// THostPool hands out hosts for plans (an idle one, one that listed the
// module, else a new one), takes back those that finished a plan cleanly,
// and at its end gives the waiting ones back to the lister or ends them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace Kalvoro {

class THostLister;
class THostProcess;
struct THostPlan;
struct THostRunState;

// Where a host stands:
// - Starting: started for a plan, it has not said hello yet;
// - Listing: it listed modules and waits with them loaded, the lister's;
// - Running: it runs a plan (and maybe holds the next one, sent ahead);
// - Idle: it finished its plan cleanly and waits for another one;
// - Retiring: it serves nothing more (retired, stopped, killed, ended, or
//   its plan was left over); it ends with its record.
enum class THostState : std::uint8_t { Starting, Listing, Running, Idle, Retiring };

// Whether a host may go from aFrom to aTo.
bool HostMayBecome(THostState aFrom, THostState aTo);

struct TPooledHost {
  std::unique_ptr<THostProcess> Process;
  THostState State = THostState::Retiring;
  const void* Queued = nullptr; // whose plan it was sent to run next
  bool FinishedOne = false;     // it finished a method of its plan

  // Out of line: THostProcess is known in HostPool.cpp alone.
  TPooledHost();
  ~TPooledHost();
  TPooledHost(TPooledHost&& aOther) noexcept;
  TPooledHost& operator=(TPooledHost&& aOther) noexcept;

  explicit operator bool() const { return Process != nullptr; }
  THostProcess* operator->() const { return Process.get(); }
  THostProcess& operator*() const { return *Process; }
  // Moves it on to aState; the only place that a host's state changes.
  void Become(THostState aState);
  // Lets the host go: it retires, and its process ends with it.
  void Drop();
};

class THostPool {
public:
  THostPool(THostRunState& aRun, THostLister* aLister);
  // The idle hosts go back to the lister, or end.
  ~THostPool();
  THostPool(const THostPool&) = delete;
  THostPool& operator=(const THostPool&) = delete;

  void SetLister(THostLister* aLister) { FLister = aLister; }
  THostLister* Lister() const { return FLister; }
  // How many host processes the pool has started so far.
  int Started() const { return FStarted; }

  // Gives aHost (empty) a host for aPlan, already handed the plan: an idle
  // one, else one the lister holds, else a new one (Starting). Raises
  // std::exception when none can be started.
  void Take(TPooledHost& aHost, const THostPlan& aPlan);
  // Keeps a host that finished its plan cleanly: it waits for the next one
  // (what it wrote since belongs to no method).
  void Keep(TPooledHost& aHost);
  // Waits for a host that has run its whole plan to tell that it serves
  // another one; false when it ended or said otherwise.
  bool AwaitIdle(TPooledHost& aHost);

private:
  // A waiting host that may serve aPlan, already handed it; an empty one
  // when none may.
  TPooledHost IdleHost(const THostPlan& aPlan);

  THostRunState& FRun;
  THostLister* FLister;
  std::vector<TPooledHost> FIdle;
  int FStarted = 0;
};

} // namespace Kalvoro
