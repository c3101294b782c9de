// THostRunner's idle hosts: a host that ran its whole plan without a reason
// to end answers Finished and waits; the runner hands it the next module's
// plan instead of starting a host, and ends those left with itself.
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
    } catch (const EHostProtocol&) {
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

void THostRunner::ReclaimHosts() {
  // A host that was told to stop, or whose group got a signal, serves no
  // further plan; nor does one of a run that stops.
  if (FStop || FForwarded != 0 || InterruptSignal() != 0)
    return;
  for (auto& [Module, Run] : FModules) {
    if (!Run.Host || Run.Next < Run.Entries.size())
      continue;
    std::unique_ptr<THostProcess> Host = std::move(Run.Host);
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
        if (Frame.Kind != THostFrame::Output)
          return false; // it retires
      }
      const auto Left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            Deadline - std::chrono::steady_clock::now())
                            .count();
      if (!Open || Left <= 0)
        return false;
      FWait(aHost.Descriptors(), static_cast<int>(std::min<std::int64_t>(IdleLook, Left + 1)));
      Open = aHost.Receive();
    }
  } catch (const EHostProtocol&) {
    return false;
  }
}

} // namespace Kalvoro
