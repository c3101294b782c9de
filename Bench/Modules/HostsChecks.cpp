// 1,000,000 passing checks: 10 unit tests of 10 methods, 10,000 checks each.
// Run with a log, every check is a line.
#include "UnitTest.h"

class TManyChecks : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(Test0);
    REGISTER_METHOD(Test1);
    REGISTER_METHOD(Test2);
    REGISTER_METHOD(Test3);
    REGISTER_METHOD(Test4);
    REGISTER_METHOD(Test5);
    REGISTER_METHOD(Test6);
    REGISTER_METHOD(Test7);
    REGISTER_METHOD(Test8);
    REGISTER_METHOD(Test9);
  }
  void Test0() { Checks(); }
  void Test1() { Checks(); }
  void Test2() { Checks(); }
  void Test3() { Checks(); }
  void Test4() { Checks(); }
  void Test5() { Checks(); }
  void Test6() { Checks(); }
  void Test7() { Checks(); }
  void Test8() { Checks(); }
  void Test9() { Checks(); }

private:
  void Checks() {
    for (int Index = 0; Index < 10000; ++Index)
      Check(Index >= 0, "logged check");
  }
};

#define HOSTS_CHECKS(Name)                                                                         \
  class Name : public TManyChecks {                                                                \
    using TManyChecks::TManyChecks;                                                                \
  };                                                                                               \
  REGISTER_UNIT_TEST(Name)

HOSTS_CHECKS(TChecks0);
HOSTS_CHECKS(TChecks1);
HOSTS_CHECKS(TChecks2);
HOSTS_CHECKS(TChecks3);
HOSTS_CHECKS(TChecks4);
HOSTS_CHECKS(TChecks5);
HOSTS_CHECKS(TChecks6);
HOSTS_CHECKS(TChecks7);
HOSTS_CHECKS(TChecks8);
HOSTS_CHECKS(TChecks9);

extern "C" KALVORO_EXPORT void Register() {}
