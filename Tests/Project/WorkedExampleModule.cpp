// A module with the two unit tests TA and TB, in this order, for the project
// tests that need exactly these names.
#include "UnitTest.h"

class TA : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestPasses); }
  void TestPasses() { Check(true, "passes"); }
};

class TB : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestPasses); }
  void TestPasses() { Check(true, "passes"); }
};

REGISTER_UNIT_TEST(TA);
REGISTER_UNIT_TEST(TB);

extern "C" KALVORO_EXPORT void Register() {}
