#define KALVORO_UNIT "Sources/Framework/CrashGuard.cpp"
#include "CrashGuard.h"

#include <pthread.h>
#include <signal.h>

#include <array>
#include <cstdint>
#include <cstdlib>

namespace Kalvoro {

namespace {

constexpr std::array<int, 5> GuardedSignals = {SIGSEGV, SIGFPE, SIGBUS, SIGILL, SIGABRT};
constexpr std::size_t AltStackSize = 256 * 1024;

thread_local TCrashFrame* CurrentFrame = nullptr;
thread_local int ScopeDepth = 0;
thread_local struct sigaction Previous[GuardedSignals.size()];
thread_local std::uintptr_t StackLow = 0;
thread_local std::uintptr_t StackHigh = 0;

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
    // A fault re-executes and reaches that handler; a raised signal is sent again.
    const int Slot = SlotOf(aSignal);
    if (Slot >= 0)
      sigaction(aSignal, &Previous[Slot], nullptr);
    if (aInfo == nullptr || aInfo->si_code <= 0)
      raise(aSignal);
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
  if (sigaltstack(nullptr, &Current) == 0 && !(Current.ss_flags & SS_DISABLE) &&
      Current.ss_size >= AltStackSize)
    return;
  // One alternate stack per thread, kept for the thread's life.
  static thread_local std::array<char, AltStackSize>* Stack = nullptr;
  if (Stack == nullptr)
    Stack = new std::array<char, AltStackSize>;
  stack_t New{};
  New.ss_sp = Stack->data();
  New.ss_size = Stack->size();
  New.ss_flags = 0;
  sigaltstack(&New, nullptr);
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
  EnsureAltStack();
  FindStackBounds();
  struct sigaction Action {};
  Action.sa_sigaction = &HandleSignal;
  Action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&Action.sa_mask);
  for (std::size_t I = 0; I < GuardedSignals.size(); ++I)
    sigaction(GuardedSignals[I], &Action, &Previous[I]);
}

} // namespace

TSignalScope::TSignalScope() {
  if (ScopeDepth++ == 0)
    Install();
}

TSignalScope::~TSignalScope() {
  if (--ScopeDepth == 0)
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
