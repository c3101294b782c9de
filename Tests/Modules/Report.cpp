// Built twice, as ReportA.so and ReportB.so: the same classes, a different
// reported text. Tests use the pair to see which build is really loaded.
#include "UnitTest.h"

class TReporter : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestReport); }
  void TestReport() { Report(REPORT_TEXT); }
};

// A second class that tests leave out of their scenarios.
class TIdle : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {}
};

REGISTER_UNIT_TEST(TReporter);
REGISTER_UNIT_TEST(TIdle);

extern "C" KALVORO_EXPORT void Register() {}
