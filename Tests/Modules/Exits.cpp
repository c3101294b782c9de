// Test methods and an Init that call exit, quick_exit, _exit or _Exit; each
// call becomes an exception of its phase and the run goes on.
#include "UnitTest.h"

#include <unistd.h>

#include <cstdlib>

class TExits : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestExit);
    REGISTER_METHOD(TestQuickExit);
    REGISTER_METHOD(TestUnderscoreExit);
    REGISTER_METHOD(TestCapitalExit);
    REGISTER_METHOD(TestAfterExits);
  }
  void TestExit() { std::exit(3); }
  void TestQuickExit() { std::quick_exit(4); }
  void TestUnderscoreExit() { _exit(5); }
  void TestCapitalExit() { std::_Exit(6); }
  void TestAfterExits() { Check(true, "still running"); }
};

class TExitInInit : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestNotRun); }
  void Init() override { exit(0); }
  void TestNotRun() { Check(false, "ran after Init exited"); }
};

REGISTER_UNIT_TEST(TExits);
REGISTER_UNIT_TEST(TExitInInit);

extern "C" KALVORO_EXPORT void Register() {}
