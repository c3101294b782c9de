// Methods that a SIGINT or SIGTERM passed on to their run host does not end:
// one catches the signals in a handler of its own and reports each one it
// got, one ignores them and stops its own process. Only a time limit or a
// kill ends them.
#include "UnitTest.h"

#include <signal.h>

#include <chrono>
#include <thread>

namespace {

volatile sig_atomic_t Caught = 0;

void Catch(int /*aSignal*/) {
  Caught = Caught + 1;
}

} // namespace

class TUnstoppable : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestCatchesSignals);
    REGISTER_METHOD(TestStopsItself);
    REGISTER_METHOD(TestAfter);
  }
  void TestCatchesSignals() {
    signal(SIGINT, &Catch);
    signal(SIGTERM, &Catch);
    Report("catching signals");
    for (sig_atomic_t Seen = 0;;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (Caught != Seen) {
        Seen = Caught;
        Report("caught a signal");
      }
    }
  }
  void TestStopsItself() {
    signal(SIGINT, SIG_IGN);
    signal(SIGTERM, SIG_IGN);
    Report("stopping");
    raise(SIGSTOP);
  }
  void TestAfter() { Check(true, "after"); }
};

REGISTER_UNIT_TEST(TUnstoppable);

extern "C" KALVORO_EXPORT void Register() {}
