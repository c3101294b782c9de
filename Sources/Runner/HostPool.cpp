// The host pool: a host that ran its whole plan without a reason to end
// answers Finished and runs the next plan, sent ahead while it ran, or
// waits; the pool hands a waiting one the next plan instead of starting a
// host, and ends those left with itself.
#include "HostPool.h"

#include "HostLister.h"
#include "HostProcess.h"
#include "HostProtocol.h"
#include "HostRunState.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cstdint>

namespace Kalvoro {

namespace {
// How often a pool that waits for a host's Finished looks, in ms.
constexpr int IdleLook = 2;
} // namespace

bool HostMayBecome(THostState aFrom, THostState aTo) {
  using enum THostState;
  if (aTo == Retiring)
    return true;
  switch (aFrom) {
  case Starting:
    return aTo == Running;
  case Listing:
    return aTo == Running;
  case Running:
    // A host that ran a plan and was sent the next one runs that on.
    return aTo == Running || aTo == Idle;
  case Idle:
    return aTo == Running || aTo == Listing;
  case Retiring:
    return false;
  }
  return false;
}

TPooledHost::TPooledHost() = default;
TPooledHost::~TPooledHost() = default;
TPooledHost::TPooledHost(TPooledHost&& aOther) noexcept = default;
TPooledHost& TPooledHost::operator=(TPooledHost&& aOther) noexcept = default;

void TPooledHost::Become(THostState aState) {
  assert(HostMayBecome(State, aState));
  State = aState;
}

void TPooledHost::Drop() {
  if (Process)
    Become(THostState::Retiring);
  Process.reset();
  Queued = nullptr;
  FinishedOne = false;
}

THostPool::THostPool(THostRunState& aRun, THostLister* aLister) : FRun(aRun), FLister(aLister) {}

THostPool::~THostPool() {
  if (FLister != nullptr) {
    for (TPooledHost& Host : FIdle) {
      Host.Become(THostState::Listing);
      FLister->GiveBack(std::move(Host.Process));
    }
    return;
  }
  std::vector<std::unique_ptr<THostProcess>> Waiting;
  for (TPooledHost& Host : FIdle)
    Waiting.push_back(std::move(Host.Process));
  EndWaitingHosts(Waiting, 3.0);
}

void THostPool::Take(TPooledHost& aHost, const THostPlan& aPlan) {
  aHost = IdleHost(aPlan);
  if (aHost)
    return;
  aHost.Queued = nullptr;
  aHost.FinishedOne = false;
  if (FLister != nullptr) {
    aHost.Process = FLister->TakeHost(aPlan);
    if (aHost) {
      aHost.State = THostState::Listing;
      aHost.Become(THostState::Running);
      return;
    }
  }
  aHost.Process = std::make_unique<THostProcess>(aPlan);
  aHost.State = THostState::Starting;
  ++FStarted;
}

TPooledHost THostPool::IdleHost(const THostPlan& aPlan) {
  for (std::size_t I = FIdle.size(); I-- > 0;) {
    bool Alive = false;
    try {
      Alive = FIdle[I].Process->Receive();
    } catch (const std::exception&) {
      // A host that cannot be read serves nothing.
    }
    // One that has another file loaded under the plan's path stays idle.
    if (Alive && !FIdle[I].Process->Serve(aPlan))
      continue;
    TPooledHost Host = std::move(FIdle[I]);
    FIdle.erase(FIdle.begin() + static_cast<std::ptrdiff_t>(I));
    if (Alive) {
      Host.Become(THostState::Running);
      return Host;
    }
    Host.Drop();
  }
  return {};
}

void THostPool::Keep(TPooledHost& aHost) {
  aHost.Become(THostState::Idle);
  aHost->SkipOutput();
  aHost.Queued = nullptr;
  aHost.FinishedOne = false;
  FIdle.push_back(std::move(aHost));
  aHost = TPooledHost();
}

bool THostPool::AwaitIdle(TPooledHost& aHost) {
  // After its plan's last method a host only cleans up before it tells.
  THostProcess& Host = *aHost;
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  try {
    bool Open = Host.Receive();
    for (;;) {
      THostFrameView Frame{};
      while (Host.Next(Frame)) {
        if (Frame.Kind == THostFrame::Finished)
          return Open;
        if (Frame.Kind == THostFrame::Dropped)
          FRun.CountDropped(Frame.Payload);
        else if (Frame.Kind != THostFrame::Output)
          return false; // it retires
      }
      const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            Deadline - std::chrono::steady_clock::now())
                            .count();
      if (!Open || Left <= 0)
        return false;
      FRun.WaitFor(Host.Descriptors(),
                   static_cast<int>(std::min<std::int64_t>(IdleLook, Left + 1)));
      Open = Host.Receive();
    }
  } catch (...) {
    // A host that cannot be read serves no further plan.
    if (FRun.RaisedOutside())
      throw;
    return false;
  }
}

} // namespace Kalvoro
