// Test methods that crash, for the manager's run through its progress window:
// every operand is volatile so that the faulting instruction stays.
#include "UnitTest.h"

#include <cstdlib>
#include <string>

namespace {

void WriteThroughNull() {
  volatile int* volatile Pointer = nullptr;
  *Pointer = 1;
}

int DivideByZero() {
  volatile int Numerator = 1;
  volatile int Zero = 0;
  return Numerator / Zero;
}

// Unbounded as long as the flag stays set, which the compiler cannot know.
volatile bool KeepRecursing = true;
int Recurse(int aDepth) {
  volatile char Frame[512];
  Frame[0] = static_cast<char>(aDepth);
  if (KeepRecursing)
    return Recurse(aDepth + 1) + Frame[0];
  return Frame[0];
}

} // namespace

class TCrashes : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestAccessViolation);
    REGISTER_METHOD(TestDivideByZero);
    REGISTER_METHOD(TestAbort);
    REGISTER_METHOD(TestStackOverflow);
    REGISTER_METHOD(TestAfterCrashes);
  }
  void TestAccessViolation() { WriteThroughNull(); }
  void TestDivideByZero() { Report(std::to_string(DivideByZero())); }
  void TestAbort() { std::abort(); }
  void TestStackOverflow() { Report(std::to_string(Recurse(0))); }
  void TestAfterCrashes() { Check(true, "still running"); }
};

REGISTER_UNIT_TEST(TCrashes);

extern "C" KALVORO_EXPORT void Register() {}
