#include "CrashGuard.h"

#include "Interruption.h"
#include "MonotonicClock.h"
#include "SignalRepair.h"
#include "ThreadAltStack.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <mutex>

namespace Kalvoro {

namespace {

constexpr std::array<int, 5> GuardedSignals = {SIGSEGV, SIGFPE, SIGBUS, SIGILL, SIGABRT};

// Signal dispositions belong to the process: the first scope opened in any
// thread installs the handlers, the last one closed puts back what was there.
std::mutex InstallMutex;
int InstalledScopes = 0;
struct sigaction Previous[GuardedSignals.size()];
struct sigaction PreviousTimeLimit;

// The signal of the time-limit timers.
int TimeLimitSignal() {
  return SIGRTMIN + 1;
}

// The rest is per thread: open scopes, the innermost crash frame, the stack.
// What the signal handler reads lives in static TLS, so that reading it never
// calls into the dynamic loader (which may allocate) inside the handler.
[[gnu::tls_model("initial-exec")]] thread_local TCrashFrame* CurrentFrame = nullptr;
[[gnu::tls_model("initial-exec")]] thread_local std::uintptr_t StackLow = 0;
[[gnu::tls_model("initial-exec")]] thread_local std::uintptr_t StackHigh = 0;
[[gnu::tls_model("initial-exec")]] thread_local int ThreadScopes = 0;
// Guarded phases entered by the thread (GuardedPhasesEntered).
[[gnu::tls_model("initial-exec")]] thread_local unsigned PhasesEntered = 0;
// SignalRepair::Changes when the thread last made sure of its guard.
[[gnu::tls_model("initial-exec")]] thread_local unsigned SeenChanges = 0;

// A thread's time-limit timer, created at its first limited phase; it sends
// its signal to this thread only. The handler re-arms it, so it is in static
// TLS too.
[[gnu::tls_model("initial-exec")]] thread_local timer_t TimerId = nullptr;
[[gnu::tls_model("initial-exec")]] thread_local bool TimerCreated = false;

struct TTimerRelease {
  ~TTimerRelease() {
    if (TimerCreated)
      timer_delete(TimerId);
    TimerCreated = false;
  }
};
thread_local TTimerRelease TimerRelease;

// Fires at the CLOCK_MONOTONIC time aDeadline (nanoseconds); 0 disarms.
void SetTimer(long long aDeadline) {
  if (!TimerCreated) {
    if (aDeadline == 0)
      return;
    sigevent Event{};
    Event.sigev_notify = SIGEV_THREAD_ID;
    Event.sigev_signo = TimeLimitSignal();
    Event._sigev_un._tid = gettid();
    if (timer_create(CLOCK_MONOTONIC, &Event, &TimerId) != 0)
      throw Exception("The time limit cannot be set: no timer available");
    TimerCreated = true;
    (void)&TimerRelease; // deletes the timer when the thread ends
  }
  itimerspec Value{};
  Value.it_value.tv_sec = static_cast<time_t>(aDeadline / 1000000000);
  Value.it_value.tv_nsec = static_cast<long>(aDeadline % 1000000000);
  timer_settime(TimerId, TIMER_ABSTIME, &Value, nullptr);
}

int SlotOf(int aSignal) {
  for (std::size_t I = 0; I < GuardedSignals.size(); ++I)
    if (GuardedSignals[I] == aSignal)
      return static_cast<int>(I);
  return -1;
}

void RestorePrevious() {
  for (std::size_t I = 0; I < GuardedSignals.size(); ++I)
    SignalRepair::Sigaction(GuardedSignals[I], &Previous[I], nullptr);
  SignalRepair::Sigaction(TimeLimitSignal(), &PreviousTimeLimit, nullptr);
}

// Only ends the innermost phase, and only once its deadline has passed: a
// signal that was under way when its phase ended finds no deadline, or one
// still to come, and is dropped.
void HandleTimeLimit(int /*aSignal*/, siginfo_t* /*aInfo*/, void* /*aContext*/) {
  TCrashFrame* Frame = CurrentFrame;
  if (Frame == nullptr || Frame->Deadline == 0)
    return;
  const int SavedErrno = errno;
  if (MonotonicNanoseconds() < Frame->Deadline) {
    errno = SavedErrno;
    return;
  }
  // While a nested run is under way (more scopes open than when the frame was
  // pushed) the jump waits until that run is over, so that it is not cut in
  // half: the timer looks again shortly.
  if (ThreadScopes != Frame->Scopes) {
    itimerspec Value{};
    Value.it_value.tv_nsec = 10 * 1000 * 1000;
    timer_settime(TimerId, 0, &Value, nullptr);
    errno = SavedErrno;
    return;
  }
  Frame->TimedOut = true;
  siglongjmp(Frame->Env, 1);
}

void HandleSignal(int aSignal, siginfo_t* aInfo, void* /*aContext*/) {
  TCrashFrame* Frame = CurrentFrame;
  if (Frame == nullptr) {
    // Not inside a guarded phase: hand the signal to whoever had it before.
    // A fault re-executes and reaches that handler; a raised signal is sent
    // again. The interrupted code may go on, so errno is kept for it.
    const int SavedErrno = errno;
    const int Slot = SlotOf(aSignal);
    if (Slot >= 0)
      SignalRepair::Sigaction(aSignal, &Previous[Slot], nullptr);
    if (aInfo == nullptr || aInfo->si_code <= 0)
      raise(aSignal);
    errno = SavedErrno;
    return;
  }
  Frame->Signal = aSignal;
  Frame->Code = aInfo != nullptr ? aInfo->si_code : 0;
  if (aSignal == SIGSEGV && aInfo != nullptr && StackHigh != 0) {
    const auto Address = reinterpret_cast<std::uintptr_t>(aInfo->si_addr);
    // The guard region lies just below the lowest usable stack address.
    Frame->StackOverflow = Address + 65536 >= StackLow && Address < StackHigh;
  }
  siglongjmp(Frame->Env, 1);
}

void FindStackBounds() {
  if (StackHigh != 0)
    return;
  pthread_attr_t Attr;
  if (pthread_getattr_np(pthread_self(), &Attr) != 0)
    return;
  void* Address = nullptr;
  std::size_t Size = 0;
  if (pthread_attr_getstack(&Attr, &Address, &Size) == 0) {
    StackLow = reinterpret_cast<std::uintptr_t>(Address);
    StackHigh = StackLow + Size;
  }
  pthread_attr_destroy(&Attr);
}

// Installs the handlers; with aKeepPrevious, keeps what was there to put back.
void Install(bool aKeepPrevious) {
  struct sigaction Action {};
  Action.sa_sigaction = &HandleSignal;
  Action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&Action.sa_mask);
  for (std::size_t I = 0; I < GuardedSignals.size(); ++I)
    SignalRepair::Sigaction(GuardedSignals[I], &Action, aKeepPrevious ? &Previous[I] : nullptr);
  Action.sa_sigaction = &HandleTimeLimit;
  Action.sa_flags |= SA_RESTART;
  SignalRepair::Sigaction(TimeLimitSignal(), &Action, aKeepPrevious ? &PreviousTimeLimit : nullptr);
}

// Puts the guard back after test code changed signals: the handlers (the
// interruption's too), and the thread's mask as its run found it, with the
// crash signals and the time limit's signal unblocked. A time-limit signal
// that the mask held back arrives now and ends this phase only if its time
// has run out.
[[gnu::noinline]] void Repair() {
  SeenChanges = SignalRepair::Changes.load(std::memory_order_acquire);
  {
    std::lock_guard<std::mutex> Lock(InstallMutex);
    if (InstalledScopes > 0)
      Install(false);
  }
  InterruptionDetail::Reinstall();
  sigset_t Unblocked;
  sigemptyset(&Unblocked);
  for (const int Signal : GuardedSignals)
    sigaddset(&Unblocked, Signal);
  sigaddset(&Unblocked, TimeLimitSignal());
  SignalRepair::RestoreThreadMask(Unblocked);
}

// One comparison when nothing changed the signals since the thread last looked.
void RepairIfChanged() {
  if (SignalRepair::Changes.load(std::memory_order_relaxed) != SeenChanges) [[unlikely]]
    Repair();
}

// The jump saves no mask (that would be a system call per phase), so it
// leaves blocked what the handler it left had blocked: its own signal, and
// for an interruption both stop signals. Those go back to unblocked, with
// the crash and time-limit signals, as Repair leaves them.
void UnblockAfterJump(int aSignal) {
  sigset_t Unblocked;
  sigemptyset(&Unblocked);
  for (const int Signal : GuardedSignals)
    sigaddset(&Unblocked, Signal);
  sigaddset(&Unblocked, TimeLimitSignal());
  if (aSignal == SIGINT || aSignal == SIGTERM) {
    sigaddset(&Unblocked, SIGINT);
    sigaddset(&Unblocked, SIGTERM);
  }
  SignalRepair::Sigmask(SIG_UNBLOCK, &Unblocked, nullptr);
}

} // namespace

TSignalScope::TSignalScope() {
  if (ThreadScopes == 0) {
    // Each thread needs its own alternate stack and stack bounds.
    EnsureAltStack();
    FindStackBounds();
    std::lock_guard<std::mutex> Lock(InstallMutex);
    if (InstalledScopes++ == 0) {
      Install(true);
      SignalRepair::BeginRecording();
    }
    SignalRepair::WatchThreadMask();
    SeenChanges = SignalRepair::Changes.load(std::memory_order_acquire);
  }
  ++ThreadScopes;
}

TSignalScope::~TSignalScope() {
  if (--ThreadScopes > 0)
    return;
  // The mask first: a signal that it held back finds the guard's handler.
  SignalRepair::StopWatchingThreadMask();
  std::lock_guard<std::mutex> Lock(InstallMutex);
  if (--InstalledScopes == 0) {
    SignalRepair::EndRecording();
    RestorePrevious();
  }
}

void PushCrashFrame(TCrashFrame* aFrame) {
  RepairIfChanged();
  ++PhasesEntered;
  aFrame->Scopes = ThreadScopes;
  aFrame->Process = GuardedProcess();
  aFrame->Outer = CurrentFrame;
  CurrentFrame = aFrame;
}

TCrashFrame* CurrentCrashFrame() noexcept {
  return CurrentFrame;
}

void PopCrashFrame(TCrashFrame* aFrame) {
  if (CurrentFrame != aFrame)
    return;
  const bool Limited = aFrame->Deadline != 0;
  aFrame->Deadline = 0;
  CurrentFrame = aFrame->Outer;
  // The timer goes back to the outer phase's deadline, or off.
  if (Limited)
    SetTimer(aFrame->Outer != nullptr ? aFrame->Outer->Deadline : 0);
}

namespace {
std::atomic<unsigned> CaughtCrashes{0};
} // namespace

unsigned GuardedPhasesEntered() noexcept {
  return PhasesEntered;
}

unsigned CrashesCaught() noexcept {
  return CaughtCrashes.load(std::memory_order_relaxed);
}

void LeaveCrashFrame(TCrashFrame* aFrame) {
  if (aFrame->Signal != 0 || aFrame->TimedOut)
    CaughtCrashes.fetch_add(1, std::memory_order_relaxed);
  UnblockAfterJump(aFrame->Signal);
  ThreadScopes = aFrame->Scopes;
  CurrentFrame = aFrame;
  PopCrashFrame(aFrame);
}

void StartTimeLimit(TCrashFrame* aFrame, double aSeconds) {
  // A phase that starts while an interruption waits for one ends at once.
  TakeInterruption(aFrame);
  const TCrashFrame* Outer = aFrame->Outer;
  long long Deadline = 0;
  double Limit = 0;
  if (aSeconds > 0) {
    // Limits beyond a year are as good as none but must not overflow.
    const double Nanoseconds = std::min(aSeconds, 365.0 * 24 * 3600) * 1e9;
    Deadline = MonotonicNanoseconds() + static_cast<long long>(Nanoseconds);
    Limit = aSeconds;
  }
  if (Outer != nullptr && Outer->Deadline != 0 && (Deadline == 0 || Outer->Deadline < Deadline)) {
    Deadline = Outer->Deadline;
    Limit = Outer->DeadlineLimit;
  }
  if (Deadline == 0)
    return;
  aFrame->DeadlineLimit = Limit;
  aFrame->Deadline = Deadline;
  SetTimer(Deadline);
}

void EndGuardedBody() {
  RepairIfChanged();
  TCrashFrame* Frame = CurrentFrame;
  if (Frame == nullptr || Frame->Deadline == 0)
    return;
  if (MonotonicNanoseconds() >= Frame->Deadline) {
    Frame->TimedOut = true;
    throw Exception(CrashText(*Frame));
  }
  // The rest of the phase is the framework's: no time limit ends it.
  Frame->Deadline = 0;
  SetTimer(Frame->Outer != nullptr ? Frame->Outer->Deadline : 0);
}

bool DeadlinePassed(const TCrashFrame& aFrame) {
  return aFrame.Deadline != 0 && MonotonicNanoseconds() >= aFrame.Deadline;
}

bool TimeLimitArmed() {
  if (!TimerCreated)
    return false;
  itimerspec Value{};
  timer_gettime(TimerId, &Value);
  return Value.it_value.tv_sec != 0 || Value.it_value.tv_nsec != 0;
}

} // namespace Kalvoro
