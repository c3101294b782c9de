// Stopping a run on SIGINT or SIGTERM (Ctrl+C, a CI job's timeout) so that
// the runner can still write what the run knows.
//
// Nothing changes unless a runner opens a TInterruptScope around its run. In
// the scope, the first SIGINT or SIGTERM ends the guarded phase that is
// running on the scope's thread through the crash guard's jump, as a time
// limit does, with the text "Interrupted (SIGINT)" (or the next phase that
// starts, when none is running), and the run starts no further method, unit
// test or scenario: they keep "not run". A second signal ends the process at
// once, as if no handler were there.
#pragma once

#include "Export.h"

#include <atomic>

namespace Kalvoro {

struct TCrashFrame;

class KALVORO_API TInterruptScope {
public:
  // Installs the handlers; the calling thread is the one whose run stops.
  TInterruptScope();
  // Puts back the handlers that were there and forgets the signal.
  ~TInterruptScope();
  TInterruptScope(const TInterruptScope&) = delete;
  TInterruptScope& operator=(const TInterruptScope&) = delete;

  // The signal that interrupted the run so far, or 0.
  int Signal() const noexcept;
};

// The signal that interrupted the run of the open scope; 0 when there was
// none or no scope is open. The run loops ask it before each step.
KALVORO_API int InterruptSignal() noexcept;
// "SIGINT", "SIGTERM", or "signal N".
KALVORO_API const char* InterruptSignalName(int aSignal) noexcept;

// Ends aFrame's phase at once (a jump) when an interruption has arrived that
// no phase has taken yet; the crash guard asks it as each phase starts.
KALVORO_API void TakeInterruption(TCrashFrame* aFrame);

// Used by message delivery inside the framework: while a message is on its
// way to its handlers, an interruption waits, so that every sink writes its
// whole line; the jump follows when the delivery is over.
namespace InterruptionDetail {
[[gnu::tls_model("initial-exec")]] extern thread_local int Deferred;
extern std::atomic<bool> Waiting;
void DeliverWaiting();
// Installs the open scope's handlers again (the crash guard does this after
// test code changed signal dispositions).
void Reinstall();
} // namespace InterruptionDetail

} // namespace Kalvoro
