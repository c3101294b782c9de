// A module as a developer rebuilds it: GUI_MODULE_MENDED builds the mended
// version, in which TRebuilt's failing method passes. TSteady passes in both.
#include "UnitTest.h"

class TRebuilt : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestChanging);
    REGISTER_METHOD(TestKept);
  }
#ifdef GUI_MODULE_MENDED
  void TestChanging() {
    Check(true, "mended");
  }
#else
  void TestChanging() {
    Check(false, "broken");
  }
#endif
  void TestKept() {
    Check(true, "kept");
  }
};

class TSteady : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestSteady); }
  void TestSteady() { Check(true, "steady"); }
};

REGISTER_UNIT_TEST(TRebuilt);
REGISTER_UNIT_TEST(TSteady);

extern "C" KALVORO_EXPORT void Register() {}
