// A module's host ended after its last method, its end's leak report read.
#include "HostModuleEnd.h"

#include "HostDeadlines.h"
#include "HostOutput.h"
#include "HostProcess.h"
#include "HostProtocol.h"
#include "HostReplay.h"

#include "Interruption.h"

#include <algorithm>
#include <cstdint>

namespace Kalvoro {

namespace {
// How long a wait for the host's end lasts at most before the runner looks
// at its deadline again, in ms.
constexpr int EndLook = 100;
} // namespace

void THostModuleEnd::End(THostRun& aRun, THostMethod& aMethod) {
  std::string Leak;
  if (aRun.Host && aMethod.Done && !FRun.StopNow && InterruptSignal() == 0) {
    TPooledHost Host = std::move(aRun.Host);
    aRun.Host = TPooledHost();
    Host.Become(THostState::Retiring);
    // Only what the end writes counts: a report of the method itself has
    // ended it already.
    FOutput.RestartReport();
    FOutput.LookForReport(true);
    AwaitEnd(*Host, aMethod);
    FOutput.FinishReport();
    if (FOutput.Report().Found())
      Leak = FOutput.Report().Headline();
  }
  FReplay.EndHeldExit(aMethod, Leak);
}

void THostModuleEnd::AwaitEnd(THostProcess& aHost, const THostMethod& aMethod) {
  // With its channel closed the host ends as a program ends; the module's
  // end gets as long as a start (the time limit, else the listing's).
  aHost.Close();
  const std::int64_t Deadline =
      THostDeadlines::Now() + static_cast<std::int64_t>(FDeadlines.StartLimit() * 1e9);
  try {
    while (aHost.Receive()) {
      THostFrameView Frame{};
      while (aHost.Next(Frame))
        if (Frame.Kind == THostFrame::Dropped)
          FRun.CountDropped(Frame.Payload);
      const std::int64_t Left = (Deadline - THostDeadlines::Now()) / 1000000;
      if (Left <= 0 || FRun.StopNow || InterruptSignal() != 0) {
        aHost.Kill();
        break;
      }
      FRun.WaitFor(aHost.Descriptors(), static_cast<int>(std::min<std::int64_t>(Left, EndLook)));
    }
  } catch (...) {
    // A host that cannot be read is ended; a handler's or the wait's error
    // ends the run.
    if (FRun.RaisedOutside())
      throw;
    aHost.Kill();
  }
  FOutput.Take(aHost, *aMethod.Method, UINT64_MAX, UINT64_MAX);
}

} // namespace Kalvoro
