// A module of 50 unit tests with 10 methods each, for timing the modules view.
#include "UnitTest.h"

#define WIDE_METHODS(X) X(M0) X(M1) X(M2) X(M3) X(M4) X(M5) X(M6) X(M7) X(M8) X(M9)
#define WIDE_DECLARE(Name)                                                                         \
  void Name() {                                                                                    \
    Check(true, #Name);                                                                            \
  }
#define WIDE_REGISTER(Name) REGISTER_METHOD(Name);

#define WIDE_UNIT_TEST(Class)                                                                      \
  class Class : public TUnitTest {                                                                 \
  public:                                                                                          \
    using TUnitTest::TUnitTest;                                                                    \
    void Register() override{WIDE_METHODS(WIDE_REGISTER)} WIDE_METHODS(WIDE_DECLARE)               \
  };                                                                                               \
  [[maybe_unused]] static const bool Class##Registered =                                           \
      ::Kalvoro::Detail::RegisterClass<Class>(#Class)

#define WIDE_TEN(Prefix)                                                                           \
  WIDE_UNIT_TEST(Prefix##0);                                                                       \
  WIDE_UNIT_TEST(Prefix##1);                                                                       \
  WIDE_UNIT_TEST(Prefix##2);                                                                       \
  WIDE_UNIT_TEST(Prefix##3);                                                                       \
  WIDE_UNIT_TEST(Prefix##4);                                                                       \
  WIDE_UNIT_TEST(Prefix##5);                                                                       \
  WIDE_UNIT_TEST(Prefix##6);                                                                       \
  WIDE_UNIT_TEST(Prefix##7);                                                                       \
  WIDE_UNIT_TEST(Prefix##8);                                                                       \
  WIDE_UNIT_TEST(Prefix##9)

WIDE_TEN(TWideA);
WIDE_TEN(TWideB);
WIDE_TEN(TWideC);
WIDE_TEN(TWideD);
WIDE_TEN(TWideE);

extern "C" KALVORO_EXPORT void Register() {}
