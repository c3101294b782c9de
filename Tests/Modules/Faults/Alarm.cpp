// alarm() with no handler for SIGALRM, then a wait: the signal's default
// action ends the process.
#include "FaultTest.h"

#include <unistd.h>

#include <chrono>
#include <thread>

class TAlarm : public TFaultTest {
public:
  using TFaultTest::TFaultTest;

protected:
  void Fault() override {
    alarm(1);
    std::this_thread::sleep_for(std::chrono::seconds(30));
  }
};

REGISTER_UNIT_TEST(TAlarm);

extern "C" KALVORO_EXPORT void Register() {}
