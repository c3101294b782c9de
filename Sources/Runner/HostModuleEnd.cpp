// THostRunner's end of a module's host where the host's runtime has
// LeakSanitizer. Such a host serves that module file alone (THostProcess::
// Serve) and ends once the runner is done with the module's methods of the
// scenario: the module's static destructors and atexit handlers run, then the
// sanitizer's check at the host's end. A leak that only that end leaves is
// read from the host's standard error and reported against the module, as
// an exception after its last method, before that method's Exit finishes,
// so that the log, the errors, the summary and JUnit hold it as any other.
#include "HostRunner.h"

#include "PhaseNames.h"

#include "HostProcess.h"
#include "HostProtocol.h"

#include "Interruption.h"

#include <algorithm>
#include <cstdint>

namespace Kalvoro {

namespace {
// How long a wait for the host's end lasts at most before the runner looks
// at its deadline again, in ms.
constexpr int EndLook = 100;
} // namespace

void THostRunner::EndModuleHost(TModuleRun& aRun, TMethodRun& aMethod) {
  if (aRun.Host && aMethod.Done && !FStopNow && InterruptSignal() == 0) {
    const std::unique_ptr<THostProcess> Host = std::move(aRun.Host);
    aRun.Queued = nullptr;
    // Only what the end writes counts: a report of the method itself has
    // ended it already.
    FReport.Clear();
    FReportFired = false;
    FLookForReport = true;
    AwaitModuleEnd(*Host, aMethod);
    FReport.Finish();
    if (FReport.Found())
      FireException(aMethod, PhaseNames::Unload, FReport.Headline());
  }
  FireProgress(ptExitFinish, aMethod, PhaseNames::Exit);
}

void THostRunner::AwaitModuleEnd(THostProcess& aHost, const TMethodRun& aMethod) {
  // With its channel closed the host ends as a program ends; the module's
  // end gets as long as a start (the time limit, else the listing's).
  aHost.Close();
  const std::int64_t Deadline = Now() + static_cast<std::int64_t>(StartLimit() * 1e9);
  try {
    while (aHost.Receive()) {
      THostFrameView Frame{};
      while (aHost.Next(Frame))
        if (Frame.Kind == THostFrame::Dropped)
          CountDropped(Frame.Payload);
      const std::int64_t Left = (Deadline - Now()) / 1000000;
      if (Left <= 0 || FStopNow || InterruptSignal() != 0) {
        aHost.Kill();
        break;
      }
      Outside([&] {
        FWait(aHost.Descriptors(), static_cast<int>(std::min<std::int64_t>(Left, EndLook)));
      });
    }
  } catch (...) {
    // A host that cannot be read is ended; a handler's or the wait's error
    // ends the run.
    if (RaisedOutside())
      throw;
    aHost.Kill();
  }
  TakeOutput(aHost, aMethod, UINT64_MAX, UINT64_MAX);
}

} // namespace Kalvoro
