#include "Interruption.h"

#include "CrashGuard.h"
#include "SignalRepair.h"

#include <pthread.h>
#include <signal.h>

#include <array>
#include <cerrno>
#include <csetjmp>
#include <mutex>
#include <string>

namespace Kalvoro {

namespace InterruptionDetail {
[[gnu::tls_model("initial-exec")]] thread_local int Deferred = 0;
std::atomic<bool> Waiting{false};
} // namespace InterruptionDetail

namespace {

using InterruptionDetail::Waiting;

constexpr std::array<int, 2> StopSignals = {SIGINT, SIGTERM};

// Process-wide state of the open scope; the handler reads it, so it is plain
// atomics (lock-free) and a thread id fixed before the handlers go in.
std::atomic<bool> Open{false};
std::atomic<int> Received{0};
// The first signal arrived on another thread and was passed on to the run's.
std::atomic<bool> PassedOn{false};
pthread_t RunThread;
// A runner that waits for a run host takes the second signal (TakesSecond
// counts the TTakeSecondInterruption alive); Again says that it came.
std::atomic<int> TakesSecond{0};
std::atomic<bool> Again{false};
struct sigaction Previous[StopSignals.size()];

// The default action of aSignal, now: a second signal must not wait for the
// run to finish its writing.
void EndAtOnce(int aSignal) {
  struct sigaction Default {};
  Default.sa_handler = SIG_DFL;
  sigemptyset(&Default.sa_mask);
  SignalRepair::Sigaction(aSignal, &Default, nullptr);
  sigset_t Unblock;
  sigemptyset(&Unblock);
  sigaddset(&Unblock, aSignal);
  SignalRepair::Sigmask(SIG_UNBLOCK, &Unblock, nullptr);
  raise(aSignal);
}

// Notes a second signal for the runner when it takes one, once; false: the
// signal ends the process.
bool TakeAgain() {
  return TakesSecond.load() > 0 && !Again.exchange(true);
}

// Ends the phase of aFrame with the signal received; does not return.
[[noreturn]] void Jump(TCrashFrame* aFrame) {
  Waiting.store(false);
  aFrame->Signal = Received.load();
  siglongjmp(aFrame->Env, 1);
}

void HandleStop(int aSignal) {
  const int SavedErrno = errno;
  if (!pthread_equal(pthread_self(), RunThread)) {
    // Only the run's thread can end its phase: the first signal goes on there.
    int None = 0;
    if (Received.compare_exchange_strong(None, aSignal)) {
      PassedOn.store(true);
      Waiting.store(true);
      pthread_kill(RunThread, aSignal);
    } else if (!TakeAgain()) {
      EndAtOnce(aSignal);
    }
    errno = SavedErrno;
    return;
  }
  int None = 0;
  if (!PassedOn.exchange(false) && !Received.compare_exchange_strong(None, aSignal)) {
    if (!TakeAgain())
      EndAtOnce(aSignal);
    errno = SavedErrno;
    return;
  }
  Waiting.store(true);
  TCrashFrame* Frame = CurrentCrashFrame();
  if (Frame != nullptr && InterruptionDetail::Deferred == 0)
    Jump(Frame);
  errno = SavedErrno;
}

// Installs the handlers; with aPrevious, keeps what was there to put back.
void Install(struct sigaction* aPrevious) {
  struct sigaction Action {};
  Action.sa_handler = &HandleStop;
  Action.sa_flags = SA_RESTART | SA_ONSTACK;
  sigemptyset(&Action.sa_mask);
  for (const int Signal : StopSignals)
    sigaddset(&Action.sa_mask, Signal);
  for (std::size_t I = 0; I < StopSignals.size(); ++I)
    SignalRepair::Sigaction(StopSignals[I], &Action,
                            aPrevious != nullptr ? &aPrevious[I] : nullptr);
}

} // namespace

TInterruptScope::TInterruptScope() {
  KALVORO_ASSERT(!Open.load());
  RunThread = pthread_self();
  Received.store(0);
  PassedOn.store(false);
  Waiting.store(false);
  Again.store(false);
  // Bound now, so that the handler never resolves a symbol.
  (void)CurrentCrashFrame();
  Open.store(true);
  Install(Previous);
}

TInterruptScope::~TInterruptScope() {
  for (std::size_t I = 0; I < StopSignals.size(); ++I)
    SignalRepair::Sigaction(StopSignals[I], &Previous[I], nullptr);
  Open.store(false);
  Waiting.store(false);
  PassedOn.store(false);
  Again.store(false);
  Received.store(0);
}

int TInterruptScope::Signal() const noexcept {
  return Received.load();
}

int InterruptSignal() noexcept {
  return Open.load(std::memory_order_relaxed) ? Received.load(std::memory_order_relaxed) : 0;
}

TTakeSecondInterruption::TTakeSecondInterruption() noexcept {
  TakesSecond.fetch_add(1);
}

TTakeSecondInterruption::~TTakeSecondInterruption() {
  TakesSecond.fetch_sub(1);
}

bool InterruptedAgain() noexcept {
  return Open.load(std::memory_order_relaxed) && Again.load(std::memory_order_relaxed);
}

const char* InterruptSignalName(int aSignal) noexcept {
  switch (aSignal) {
  case SIGINT:
    return "SIGINT";
  case SIGTERM:
    return "SIGTERM";
  default:
    return "signal";
  }
}

void TakeInterruption(TCrashFrame* aFrame) {
  if (Waiting.load(std::memory_order_relaxed) && pthread_equal(pthread_self(), RunThread))
    Jump(aFrame);
}

void InterruptionDetail::Reinstall() {
  if (Open.load())
    Install(nullptr);
}

void InterruptionDetail::DeliverWaiting() {
  if (!pthread_equal(pthread_self(), RunThread))
    return;
  if (TCrashFrame* Frame = CurrentCrashFrame())
    Jump(Frame);
}

} // namespace Kalvoro
