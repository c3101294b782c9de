#include "SignalRepair.h"

#include "Export.h"

#include <dlfcn.h>

#include <cerrno>

namespace Kalvoro::SignalRepair {

std::atomic<unsigned> Changes{0};

namespace {

using TSigaction = int (*)(int, const struct sigaction*, struct sigaction*);
using TSigmask = int (*)(int, const sigset_t*, sigset_t*);
using TSignal = sighandler_t (*)(int, sighandler_t);

// The C library's functions, looked up when the library is loaded, so that
// no signal handler calls into the dynamic loader; a call that comes before
// that (another library's start-up) looks them up itself.
std::atomic<TSigaction> NextSigaction{nullptr};
std::atomic<TSigmask> NextSigprocmask{nullptr};
std::atomic<TSigmask> NextPthreadSigmask{nullptr};
std::atomic<TSignal> NextSignal{nullptr};

template <class T> T Next(std::atomic<T>& aFunction, const char* aName) {
  T Function = aFunction.load(std::memory_order_relaxed);
  if (Function == nullptr) {
    Function = reinterpret_cast<T>(dlsym(RTLD_NEXT, aName));
    aFunction.store(Function, std::memory_order_relaxed);
  }
  return Function;
}

struct TLookUp {
  TLookUp() {
    Next(NextSigaction, "sigaction");
    Next(NextSigprocmask, "sigprocmask");
    Next(NextPthreadSigmask, "pthread_sigmask");
    Next(NextSignal, "signal");
  }
};
const TLookUp LookUp;

// Per signal: 0 nothing recorded, 1 being recorded, 2 recorded.
std::atomic<bool> Recording{false};
std::atomic<unsigned char> RecordState[NSIG];
struct sigaction Recorded[NSIG];

[[gnu::tls_model("initial-exec")]] thread_local bool WatchingMask = false;
[[gnu::tls_model("initial-exec")]] thread_local bool MaskRecorded = false;
thread_local sigset_t RecordedMask;

void RecordDisposition(int aSignal) {
  if (!Recording.load(std::memory_order_acquire) || aSignal <= 0 || aSignal >= NSIG)
    return;
  unsigned char Nothing = 0;
  if (!RecordState[aSignal].compare_exchange_strong(Nothing, 1))
    return;
  const bool Read = Sigaction(aSignal, nullptr, &Recorded[aSignal]) == 0;
  RecordState[aSignal].store(Read ? 2 : 0, std::memory_order_release);
}

void RecordThreadMask() {
  if (!WatchingMask || MaskRecorded)
    return;
  MaskRecorded = Sigmask(SIG_BLOCK, nullptr, &RecordedMask) == 0;
}

int Unavailable() {
  errno = ENOSYS;
  return -1;
}

} // namespace

int Sigaction(int aSignal, const struct sigaction* aAction, struct sigaction* aOld) noexcept {
  const TSigaction Function = Next(NextSigaction, "sigaction");
  return Function != nullptr ? Function(aSignal, aAction, aOld) : Unavailable();
}

int Sigmask(int aHow, const sigset_t* aSet, sigset_t* aOld) noexcept {
  const TSigmask Function = Next(NextPthreadSigmask, "pthread_sigmask");
  // pthread_sigmask returns the error number rather than setting errno.
  return Function != nullptr ? Function(aHow, aSet, aOld) : ENOSYS;
}

void BeginRecording() {
  Recording.store(true, std::memory_order_release);
}

void EndRecording() {
  Recording.store(false, std::memory_order_release);
  for (int Signal = 1; Signal < NSIG; ++Signal) {
    if (RecordState[Signal].load(std::memory_order_acquire) == 2)
      Sigaction(Signal, &Recorded[Signal], nullptr);
    RecordState[Signal].store(0, std::memory_order_relaxed);
  }
}

void WatchThreadMask() {
  WatchingMask = true;
  MaskRecorded = false;
}

void StopWatchingThreadMask() {
  if (MaskRecorded)
    Sigmask(SIG_SETMASK, &RecordedMask, nullptr);
  MaskRecorded = false;
  WatchingMask = false;
}

void RestoreThreadMask(const sigset_t& aUnblocked) {
  if (!MaskRecorded)
    return;
  sigset_t Mask = RecordedMask;
  for (int Signal = 1; Signal < NSIG; ++Signal)
    if (sigismember(&aUnblocked, Signal) == 1)
      sigdelset(&Mask, Signal);
  Sigmask(SIG_SETMASK, &Mask, nullptr);
}

} // namespace Kalvoro::SignalRepair

using namespace Kalvoro::SignalRepair;

extern "C" {

KALVORO_API int sigaction(int aSignal, const struct sigaction* aAction,
                          struct sigaction* aOld) noexcept {
  if (aAction == nullptr)
    return Sigaction(aSignal, nullptr, aOld);
  RecordDisposition(aSignal);
  const int Result = Sigaction(aSignal, aAction, aOld);
  Changes.fetch_add(1, std::memory_order_release);
  return Result;
}

KALVORO_API sighandler_t signal(int aSignal, sighandler_t aHandler) noexcept {
  RecordDisposition(aSignal);
  const TSignal Function = Next(NextSignal, "signal");
  const sighandler_t Result = Function != nullptr ? Function(aSignal, aHandler) : SIG_ERR;
  Changes.fetch_add(1, std::memory_order_release);
  return Result;
}

KALVORO_API int sigprocmask(int aHow, const sigset_t* aSet, sigset_t* aOld) noexcept {
  if (aSet != nullptr)
    RecordThreadMask();
  const TSigmask Function = Next(NextSigprocmask, "sigprocmask");
  const int Result = Function != nullptr ? Function(aHow, aSet, aOld) : Unavailable();
  if (aSet != nullptr)
    Changes.fetch_add(1, std::memory_order_release);
  return Result;
}

KALVORO_API int pthread_sigmask(int aHow, const sigset_t* aSet, sigset_t* aOld) noexcept {
  if (aSet != nullptr)
    RecordThreadMask();
  const int Result = Sigmask(aHow, aSet, aOld);
  if (aSet != nullptr)
    Changes.fetch_add(1, std::memory_order_release);
  return Result;
}

} // extern "C"
