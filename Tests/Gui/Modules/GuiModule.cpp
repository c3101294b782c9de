// Small modules for the manager's tests. GUI_MODULE_ALPHA builds two unit tests
// (TAlpha with two methods, TBeta with one); otherwise one unit test TGamma.
#include "UnitTest.h"

#ifdef GUI_MODULE_ALPHA
class TAlpha : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestFirst);
    REGISTER_METHOD(TestSecond);
  }
  void TestFirst() { Check(true, "first"); }
  void TestSecond() { Check(true, "second"); }
};

class TBeta : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestOnly); }
  void TestOnly() { Check(true, "only"); }
};

REGISTER_UNIT_TEST(TAlpha);
REGISTER_UNIT_TEST(TBeta);
#else
class TGamma : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestGamma); }
  void TestGamma() { Check(true, "gamma"); }
};

REGISTER_UNIT_TEST(TGamma);
#endif

extern "C" KALVORO_EXPORT void Register() {}
