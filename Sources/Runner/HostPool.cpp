// THostRunner's idle hosts: a host that ran its whole plan without a reason
// to end answers Finished and runs the next module's plan, sent ahead while
// it ran, or waits; the runner hands a waiting one the next module's plan
// instead of starting a host, and ends those left with itself.
#include "HostRunner.h"

#include "HostProcess.h"
#include "HostProtocol.h"

#include "Interruption.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace Kalvoro {

namespace {
// How often a runner that waits for a host's Finished looks, in ms.
constexpr int IdleLook = 2;
} // namespace

std::unique_ptr<THostProcess> THostRunner::IdleHost(const THostPlan& aPlan) {
  ReclaimHosts();
  for (std::size_t I = FIdle.size(); I-- > 0;) {
    bool Alive = false;
    try {
      Alive = FIdle[I]->Receive();
    } catch (const std::exception&) {
      // A host that cannot be read serves nothing.
    }
    // One that has another file loaded under the plan's path stays idle.
    if (Alive && !FIdle[I]->Serve(aPlan))
      continue;
    std::unique_ptr<THostProcess> Host = std::move(FIdle[I]);
    FIdle.erase(FIdle.begin() + static_cast<std::ptrdiff_t>(I));
    if (Alive)
      return Host;
  }
  return nullptr;
}

void THostRunner::QueueNext(TModuleRun& aRun) {
  // With several jobs the next unit tests run ahead in hosts of their own.
  if (FJobs > 1 || !aRun.Host || FStop || FForwarded != 0 || InterruptSignal() != 0 ||
      aRun.Rank + 1 >= FOrder.size())
    return;
  const void* const Module = FOrder[aRun.Rank + 1];
  const TModuleRun& Next = FModules[Module];
  // Only aRun's host can have been sent it: the plan of a module goes ahead
  // only to the host of the module just before it.
  if (Next.Host || Next.Next != 0 || !Next.GiveUp.empty() || Next.First <= aRun.Last)
    return;
  THostPlan Plan;
  if (MakePlan(Next, 0, false, Plan) && aRun.Host->Queue(Plan))
    aRun.Queued = Module;
}

std::unique_ptr<THostProcess> THostRunner::QueuedHost(const TModuleRun& aRun) {
  if (FJobs > 1 || aRun.Rank == 0 || aRun.Rank >= FOrder.size())
    return nullptr;
  TModuleRun& Before = FModules[FOrder[aRun.Rank - 1]];
  if (!Before.Host || Before.Queued != FOrder[aRun.Rank])
    return nullptr;
  std::unique_ptr<THostProcess> Host = std::move(Before.Host);
  Before.Queued = nullptr;
  // One that still has methods of its own that the run skipped, or that
  // retired, ends here; this plan then goes to another host.
  if (Before.Next < Before.Entries.size() || FStop || FForwarded != 0 || InterruptSignal() != 0 ||
      !AwaitIdle(*Host))
    return nullptr;
  return Host;
}

void THostRunner::ReclaimHosts() {
  // A host that was told to stop, or whose group got a signal, serves no
  // further plan; nor does one of a run that stops.
  if (FStop || FForwarded != 0 || InterruptSignal() != 0)
    return;
  for (auto& [Module, Run] : FModules) {
    if (!Run.Host || Run.Next < Run.Entries.size())
      continue;
    std::unique_ptr<THostProcess> Host = std::move(Run.Host);
    // One that was sent a plan that nobody took runs it now: it ends.
    if (Run.Queued != nullptr) {
      Run.Queued = nullptr;
      continue;
    }
    if (AwaitIdle(*Host)) {
      Host->SkipOutput();
      FIdle.push_back(std::move(Host));
    }
  }
}

bool THostRunner::AwaitIdle(THostProcess& aHost) {
  // After its plan's last method a host only cleans up before it tells.
  const auto Deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  try {
    bool Open = aHost.Receive();
    for (;;) {
      THostFrameView Frame{};
      while (aHost.Next(Frame)) {
        if (Frame.Kind == THostFrame::Finished)
          return Open;
        if (Frame.Kind == THostFrame::Dropped)
          CountDropped(Frame.Payload);
        else if (Frame.Kind != THostFrame::Output)
          return false; // it retires
      }
      const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            Deadline - std::chrono::steady_clock::now())
                            .count();
      if (!Open || Left <= 0)
        return false;
      Outside([&] {
        FWait(aHost.Descriptors(), static_cast<int>(std::min<std::int64_t>(IdleLook, Left + 1)));
      });
      Open = aHost.Receive();
    }
  } catch (...) {
    // A host that cannot be read serves no further plan.
    if (RaisedOutside())
      throw;
    return false;
  }
}

} // namespace Kalvoro
