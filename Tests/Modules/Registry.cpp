// Registration cases: a class registered twice (at start-up and again from the
// exported Register) and a class registered with a fixture.
#include "UnitTest.h"

class TTwice : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestOnce); }
  void TestOnce() { Check(true, "once"); }
};

class TSomeFixture : public TFixture {};

class TFixtured : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestWithFixture); }
  void TestWithFixture() { Report("fixtured"); }
};

REGISTER_UNIT_TEST(TTwice);
REGISTER_UNIT_TEST_WITH_FIXTURE(TFixtured, TSomeFixture);

extern "C" KALVORO_EXPORT void Register() {
  REGISTER_UNIT_TEST(TTwice);
}
