// A throw that leaves a thread the test started: std::terminate.
#include "FaultTest.h"

#include <stdexcept>
#include <thread>

namespace {
volatile bool Throw = true;
}

class TThreadThrow : public TFaultTest {
public:
  using TFaultTest::TFaultTest;

protected:
  void Fault() override {
    std::thread([] {
      if (Throw)
        throw std::runtime_error("thrown on the test's own thread");
    }).join();
  }
};

REGISTER_UNIT_TEST(TThreadThrow);

extern "C" KALVORO_EXPORT void Register() {}
