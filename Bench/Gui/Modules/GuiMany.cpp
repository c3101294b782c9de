// A module of 1,000 unit tests with one method each, for timing the scenarios
// view on projects of many unit tests.
#include "UnitTest.h"

#define MANY_UNIT_TEST(Class)                                                                      \
  class Class : public TUnitTest {                                                                 \
  public:                                                                                          \
    using TUnitTest::TUnitTest;                                                                    \
    void Register() override { REGISTER_METHOD(TestOnly); }                                        \
    void TestOnly() { Check(true, "only"); }                                                       \
  };                                                                                               \
  [[maybe_unused]] static const bool Class##Registered =                                           \
      ::Kalvoro::Detail::RegisterClass<Class>(#Class)

#define MANY_TEN(Prefix)                                                                           \
  MANY_UNIT_TEST(Prefix##0);                                                                       \
  MANY_UNIT_TEST(Prefix##1);                                                                       \
  MANY_UNIT_TEST(Prefix##2);                                                                       \
  MANY_UNIT_TEST(Prefix##3);                                                                       \
  MANY_UNIT_TEST(Prefix##4);                                                                       \
  MANY_UNIT_TEST(Prefix##5);                                                                       \
  MANY_UNIT_TEST(Prefix##6);                                                                       \
  MANY_UNIT_TEST(Prefix##7);                                                                       \
  MANY_UNIT_TEST(Prefix##8);                                                                       \
  MANY_UNIT_TEST(Prefix##9)

#define MANY_HUNDRED(Prefix)                                                                       \
  MANY_TEN(Prefix##0);                                                                             \
  MANY_TEN(Prefix##1);                                                                             \
  MANY_TEN(Prefix##2);                                                                             \
  MANY_TEN(Prefix##3);                                                                             \
  MANY_TEN(Prefix##4);                                                                             \
  MANY_TEN(Prefix##5);                                                                             \
  MANY_TEN(Prefix##6);                                                                             \
  MANY_TEN(Prefix##7);                                                                             \
  MANY_TEN(Prefix##8);                                                                             \
  MANY_TEN(Prefix##9)

MANY_HUNDRED(TMany0);
MANY_HUNDRED(TMany1);
MANY_HUNDRED(TMany2);
MANY_HUNDRED(TMany3);
MANY_HUNDRED(TMany4);
MANY_HUNDRED(TMany5);
MANY_HUNDRED(TMany6);
MANY_HUNDRED(TMany7);
MANY_HUNDRED(TMany8);
MANY_HUNDRED(TMany9);

extern "C" KALVORO_EXPORT void Register() {}
