// The second of three unit tests raises while registering its methods.
#include "UnitTest.h"

#include <stdexcept>

class TFirst : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {}
};

class TSecond : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { throw std::logic_error("TSecond cannot register"); }
};

class TThird : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {}
};

REGISTER_UNIT_TEST(TFirst);
REGISTER_UNIT_TEST(TSecond);
REGISTER_UNIT_TEST(TThird);

extern "C" KALVORO_EXPORT void Register() {}
