// Test methods that never end on their own: a busy loop and a long sleep,
// each followed by a method that passes. A run with a time limit ends both.
#include "UnitTest.h"

#include <chrono>
#include <thread>

class THangs : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestBusyLoop);
    REGISTER_METHOD(TestAfterBusyLoop);
    REGISTER_METHOD(TestSleep);
    REGISTER_METHOD(TestAfterSleep);
  }
  void TestBusyLoop() {
    volatile unsigned long Counter = 0;
    for (;;)
      Counter = Counter + 1;
  }
  void TestAfterBusyLoop() { Check(true, "after the busy loop"); }
  void TestSleep() { std::this_thread::sleep_for(std::chrono::hours(1)); }
  void TestAfterSleep() { Check(true, "after the sleep"); }
};

class TAfterHangs : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestRuns); }
  void TestRuns() { Check(true, "next unit test runs"); }
};

REGISTER_UNIT_TEST(THangs);
REGISTER_UNIT_TEST(TAfterHangs);

extern "C" KALVORO_EXPORT void Register() {}
