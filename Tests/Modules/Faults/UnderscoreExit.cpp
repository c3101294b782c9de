// _exit(0) after a failed check: the process ends at once, with status 0.
#include "FaultTest.h"

#include <unistd.h>

class TUnderscoreExit : public TFaultTest {
public:
  using TFaultTest::TFaultTest;

protected:
  void Fault() override {
    Check(false, "fails before _exit");
    _exit(0);
  }
};

REGISTER_UNIT_TEST(TUnderscoreExit);

extern "C" KALVORO_EXPORT void Register() {}
