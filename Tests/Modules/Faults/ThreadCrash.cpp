// A crash on a thread that the test started, where no guarded phase runs.
#include "FaultTest.h"

#include <thread>

class TThreadCrash : public TFaultTest {
public:
  using TFaultTest::TFaultTest;

protected:
  void Fault() override { std::thread(WriteThroughNull).join(); }
};

REGISTER_UNIT_TEST(TThreadCrash);

extern "C" KALVORO_EXPORT void Register() {}
