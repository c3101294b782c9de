// 50 unit tests of 10 passing methods each: 200 copies make a Start All of
// 100,000 methods.
#include "UnitTest.h"

class TTenMethods : public TUnitTest {
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
  void Test0() { Check(true, "passes"); }
  void Test1() { Check(true, "passes"); }
  void Test2() { Check(true, "passes"); }
  void Test3() { Check(true, "passes"); }
  void Test4() { Check(true, "passes"); }
  void Test5() { Check(true, "passes"); }
  void Test6() { Check(true, "passes"); }
  void Test7() { Check(true, "passes"); }
  void Test8() { Check(true, "passes"); }
  void Test9() { Check(true, "passes"); }
};

#define HOSTS_UNIT_TEST(Name)                                                                      \
  class Name : public TTenMethods {                                                                \
    using TTenMethods::TTenMethods;                                                                \
  };                                                                                               \
  REGISTER_UNIT_TEST(Name)
#define HOSTS_TEN_UNIT_TESTS(Prefix)                                                               \
  HOSTS_UNIT_TEST(Prefix##0);                                                                      \
  HOSTS_UNIT_TEST(Prefix##1);                                                                      \
  HOSTS_UNIT_TEST(Prefix##2);                                                                      \
  HOSTS_UNIT_TEST(Prefix##3);                                                                      \
  HOSTS_UNIT_TEST(Prefix##4);                                                                      \
  HOSTS_UNIT_TEST(Prefix##5);                                                                      \
  HOSTS_UNIT_TEST(Prefix##6);                                                                      \
  HOSTS_UNIT_TEST(Prefix##7);                                                                      \
  HOSTS_UNIT_TEST(Prefix##8);                                                                      \
  HOSTS_UNIT_TEST(Prefix##9)

HOSTS_TEN_UNIT_TESTS(TWideA);
HOSTS_TEN_UNIT_TESTS(TWideB);
HOSTS_TEN_UNIT_TESTS(TWideC);
HOSTS_TEN_UNIT_TESTS(TWideD);
HOSTS_TEN_UNIT_TESTS(TWideE);

extern "C" KALVORO_EXPORT void Register() {}
