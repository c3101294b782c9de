// A unit test around one fault of test code that no guard inside a process
// can contain: a passing method before the fault, and a passing and a
// failing method after it, so that a run shows whether the methods after the
// fault still run with their own results.
#pragma once

#include "UnitTest.h"

class TFaultTest : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestBefore);
    REGISTER_METHOD(TestFault);
    REGISTER_METHOD(TestAfter);
    REGISTER_METHOD(TestFailsAfter);
  }
  void TestBefore() { Check(true, "passes before the fault"); }
  void TestFault() { Fault(); }
  void TestAfter() { Check(true, "passes after the fault"); }
  void TestFailsAfter() { Check(false, "fails after the fault"); }

protected:
  virtual void Fault() = 0;
};

// Operands are volatile so that the faulting instruction stays in the code.
inline void WriteThroughNull() {
  int* volatile Pointer = nullptr;
  *Pointer = 1;
}
