#include "ThreadAltStack.h"

#include <signal.h>

#include <cstddef>
#include <memory>

namespace Kalvoro {

namespace {

constexpr std::size_t AltStackSize = 256 * 1024;

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

} // namespace

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

} // namespace Kalvoro
