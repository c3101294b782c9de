// Tests that leave SIGSEGV at its default action, ignored or blocked, or
// every signal blocked, each followed by a method that crashes and, after
// the same change again, one that hangs (run with a time limit).
#include "FaultTest.h"

#include <pthread.h>
#include <signal.h>

namespace {

void SegvDefault() {
  signal(SIGSEGV, SIG_DFL);
}

void SegvIgnored() {
  signal(SIGSEGV, SIG_IGN);
}

void SegvBlocked() {
  sigset_t Segv;
  sigemptyset(&Segv);
  sigaddset(&Segv, SIGSEGV);
  pthread_sigmask(SIG_BLOCK, &Segv, nullptr);
}

void AllBlocked() {
  sigset_t All;
  sigfillset(&All);
  pthread_sigmask(SIG_BLOCK, &All, nullptr);
}

template <void (*aLeave)()> class TSignalLeft : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestBefore);
    REGISTER_METHOD(TestLeaveForCrash);
    REGISTER_METHOD(TestCrash);
    REGISTER_METHOD(TestLeaveForHang);
    REGISTER_METHOD(TestHang);
    REGISTER_METHOD(TestAfter);
    REGISTER_METHOD(TestFailsAfter);
  }
  void TestBefore() { Check(true, "passes before the fault"); }
  void TestLeaveForCrash() { aLeave(); }
  void TestCrash() { WriteThroughNull(); }
  void TestLeaveForHang() { aLeave(); }
  void TestHang() {
    volatile unsigned long Counter = 0;
    for (;;)
      Counter = Counter + 1;
  }
  void TestAfter() { Check(true, "passes after the fault"); }
  void TestFailsAfter() { Check(false, "fails after the fault"); }
};

} // namespace

class TSegvDefault : public TSignalLeft<&SegvDefault> {
  using TSignalLeft::TSignalLeft;
};
class TSegvIgnored : public TSignalLeft<&SegvIgnored> {
  using TSignalLeft::TSignalLeft;
};
class TSegvBlocked : public TSignalLeft<&SegvBlocked> {
  using TSignalLeft::TSignalLeft;
};
class TAllBlocked : public TSignalLeft<&AllBlocked> {
  using TSignalLeft::TSignalLeft;
};

REGISTER_UNIT_TEST(TSegvDefault);
REGISTER_UNIT_TEST(TSegvIgnored);
REGISTER_UNIT_TEST(TSegvBlocked);
REGISTER_UNIT_TEST(TAllBlocked);

extern "C" KALVORO_EXPORT void Register() {}
