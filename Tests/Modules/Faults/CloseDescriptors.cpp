// Closes every descriptor above the standard ones, as daemon code does; in a
// host that takes its channel to the runner with them.
#include "FaultTest.h"

#include <unistd.h>

class TCloseDescriptors : public TFaultTest {
public:
  using TFaultTest::TFaultTest;

protected:
  void Fault() override { close_range(3, ~0U, 0); }
};

REGISTER_UNIT_TEST(TCloseDescriptors);

extern "C" KALVORO_EXPORT void Register() {}
