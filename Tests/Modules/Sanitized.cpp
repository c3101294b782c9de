// A module built with a sanitizer: one faulty method between two good ones.
// The fault, chosen by the build (KALVORO_SANITIZED_FAULT), is one that the
// sanitizer reports and ends the process with: 1 a heap overflow, 2 a signed
// overflow, 3 a data race, 4 a leak, 5 a leak that only the module's end
// leaves (its static destructor forgets memory that a global held); 0 none.
#include "UnitTest.h"

#include <chrono>
#include <climits>
#include <thread>

namespace {

// What a good method does: memory that the sanitizers watch, used rightly.
[[gnu::noinline]] void Good() {
  volatile char* Block = new char[16];
  Block[15] = 1;
  delete[] Block;
}

#if KALVORO_SANITIZED_FAULT == 1
[[gnu::noinline]] void Put(volatile char* aAt) {
  *aAt = 1;
}
#endif

#if KALVORO_SANITIZED_FAULT == 5
// Held while the module is loaded, so no check between methods finds it;
// the destructor forgets the blocks without freeing them.
struct THeld {
  int* volatile Blocks[8] = {};
  ~THeld() {
    for (int* volatile& Block : Blocks)
      Block = nullptr;
  }
};
THeld Held;
#endif

[[gnu::noinline]] void Fault() {
#if KALVORO_SANITIZED_FAULT == 1
  // Written through a function of its own, where no size of the block is
  // known: the write is AddressSanitizer's to find, not UBSan's.
  char* volatile Block = new char[16];
  volatile int Index = 16;
  Put(Block + Index);
  delete[] Block;
#elif KALVORO_SANITIZED_FAULT == 2
  volatile int Largest = INT_MAX;
  volatile int Sum = Largest + 1;
  (void)Sum;
#elif KALVORO_SANITIZED_FAULT == 5
  for (int* volatile& Block : Held.Blocks)
    Block = new int[64];
#elif KALVORO_SANITIZED_FAULT == 3
  static int Shared = 0;
  // The second thread comes later, so that the report names the threads
  // in the same order in every run (a sleep orders nothing for the race).
  std::thread First([] { ++Shared; });
  std::thread Second([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ++Shared;
  });
  First.join();
  Second.join();
#elif KALVORO_SANITIZED_FAULT == 4
  // Several blocks: a stale copy of one pointer on the stack cannot hide them all.
  for (int Block = 0; Block < 8; ++Block) {
    int* volatile Lost = new int[64];
    Lost = nullptr;
  }
#else
  Good();
#endif
}

} // namespace

class TSanitized : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestBefore);
    REGISTER_METHOD(TestFault);
    REGISTER_METHOD(TestAfter);
  }
  // No checks: a module of clang 14 lacks the library's std::source_location.
  void TestBefore() { Good(); }
  void TestFault() { Fault(); }
  void TestAfter() { Good(); }
};

REGISTER_UNIT_TEST(TSanitized);

extern "C" KALVORO_EXPORT void Register() {}
