// A module that lacks the "Register" entry point: loading it fails, and the
// module keeps its library.
#include "UnitTest.h"

class TOrphan : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {}
};

REGISTER_UNIT_TEST(TOrphan);
