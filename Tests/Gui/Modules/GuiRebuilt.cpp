// A module as a developer rebuilds it: GUI_MODULE_MENDED builds the mended
// version, in which TRebuilt's failing method passes. TSteady passes in both.
// GUI_MODULE_RESHAPED builds a version without TSteady and with a new
// TFresh, registered before TRebuilt.
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

#ifdef GUI_MODULE_RESHAPED
class TFresh : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestFresh); }
  void TestFresh() { Check(true, "fresh"); }
};

REGISTER_UNIT_TEST(TFresh);
REGISTER_UNIT_TEST(TRebuilt);
#else
REGISTER_UNIT_TEST(TRebuilt);
REGISTER_UNIT_TEST(TSteady);
#endif

extern "C" KALVORO_EXPORT void Register() {}
