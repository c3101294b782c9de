#include "CrashGuard.h"

#include <pthread.h>
#include <signal.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace Kalvoro {

namespace {

constexpr std::array<int, 5> GuardedSignals = {SIGSEGV, SIGFPE, SIGBUS, SIGILL, SIGABRT};
constexpr std::size_t AltStackSize = 256 * 1024;

// Signal dispositions belong to the process: the first scope opened in any
// thread installs the handlers, the last one closed puts back what was there.
std::mutex InstallMutex;
int InstalledScopes = 0;
struct sigaction Previous[GuardedSignals.size()];

// The rest is per thread: open scopes, the innermost crash frame, the stack.
// What the signal handler reads lives in static TLS, so that reading it never
// calls into the dynamic loader (which may allocate) inside the handler.
[[gnu::tls_model("initial-exec")]] thread_local TCrashFrame* CurrentFrame = nullptr;
[[gnu::tls_model("initial-exec")]] thread_local std::uintptr_t StackLow = 0;
[[gnu::tls_model("initial-exec")]] thread_local std::uintptr_t StackHigh = 0;
thread_local int ThreadScopes = 0;

// A thread's alternate signal stack, kept for the thread's life. When the
// thread ends, the stack it had before is put back before the memory goes, so
// that nothing (a sanitizer's thread teardown included) refers to freed memory.
struct TAltStack {
  std::unique_ptr<char[]> Memory;
  stack_t Before{};
  bool Installed = false;

  ~TAltStack() {
    stack_t Current{};
    if (!Installed || sigaltstack(nullptr, &Current) != 0 || Current.ss_sp != Memory.get())
      return;
    stack_t Restore = Before;
    Restore.ss_flags = Before.ss_flags & SS_DISABLE;
    sigaltstack(&Restore, nullptr);
  }
};
thread_local TAltStack AltStack;

int SlotOf(int aSignal) {
  for (std::size_t I = 0; I < GuardedSignals.size(); ++I)
    if (GuardedSignals[I] == aSignal)
      return static_cast<int>(I);
  return -1;
}

void RestorePrevious() {
  for (std::size_t I = 0; I < GuardedSignals.size(); ++I)
    sigaction(GuardedSignals[I], &Previous[I], nullptr);
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
      sigaction(aSignal, &Previous[Slot], nullptr);
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

void EnsureAltStack() {
  stack_t Current{};
  if (sigaltstack(nullptr, &Current) != 0)
    return;
  if (!(Current.ss_flags & SS_DISABLE) && Current.ss_size >= AltStackSize)
    return;
  TAltStack& Stack = AltStack;
  if (!Stack.Memory)
    Stack.Memory.reset(new char[AltStackSize]);
  stack_t New{};
  New.ss_sp = Stack.Memory.get();
  New.ss_size = AltStackSize;
  New.ss_flags = 0;
  if (sigaltstack(&New, nullptr) == 0) {
    Stack.Before = Current;
    Stack.Installed = true;
  }
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

void Install() {
  struct sigaction Action {};
  Action.sa_sigaction = &HandleSignal;
  Action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&Action.sa_mask);
  for (std::size_t I = 0; I < GuardedSignals.size(); ++I)
    sigaction(GuardedSignals[I], &Action, &Previous[I]);
}

} // namespace

TSignalScope::TSignalScope() {
  if (ThreadScopes == 0) {
    // Each thread needs its own alternate stack and stack bounds.
    EnsureAltStack();
    FindStackBounds();
    std::lock_guard<std::mutex> Lock(InstallMutex);
    if (InstalledScopes++ == 0)
      Install();
  }
  ++ThreadScopes;
}

TSignalScope::~TSignalScope() {
  if (--ThreadScopes > 0)
    return;
  std::lock_guard<std::mutex> Lock(InstallMutex);
  if (--InstalledScopes == 0)
    RestorePrevious();
}

void PushCrashFrame(TCrashFrame* aFrame) {
  aFrame->Outer = CurrentFrame;
  CurrentFrame = aFrame;
}

void PopCrashFrame(TCrashFrame* aFrame) {
  if (CurrentFrame == aFrame)
    CurrentFrame = aFrame->Outer;
}

std::string CrashText(const TCrashFrame& aFrame) {
  switch (aFrame.Signal) {
  case SIGSEGV:
    return aFrame.StackOverflow ? "Stack overflow (SIGSEGV)" : "Access violation (SIGSEGV)";
  case SIGFPE:
    if (aFrame.Code == FPE_INTDIV)
      return "Integer division by zero (SIGFPE)";
    if (aFrame.Code == FPE_INTOVF)
      return "Integer overflow (SIGFPE)";
    return "Arithmetic error (SIGFPE)";
  case SIGBUS:
    return "Bus error (SIGBUS)";
  case SIGILL:
    return "Illegal instruction (SIGILL)";
  case SIGABRT:
    return "Abnormal termination (SIGABRT)";
  default:
    return "Signal " + std::to_string(aFrame.Signal);
  }
}

} // namespace Kalvoro
