// Test methods that change signal handlers or masks and leave them so, each
// followed by a method that crashes: the crash must still be caught. One
// blocks every signal and sleeps past the time limit; after it, a short
// method must pass and a hanging one must still be ended.
#include "UnitTest.h"

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <thread>

namespace {

void WriteThroughNull() {
  int* volatile Pointer = nullptr;
  *Pointer = 1;
}

void BlockAll() {
  sigset_t All;
  sigfillset(&All);
  pthread_sigmask(SIG_BLOCK, &All, nullptr);
}

void SegvDefault() {
  signal(SIGSEGV, SIG_DFL);
}

void SegvIgnored() {
  struct sigaction Ignore {};
  Ignore.sa_handler = SIG_IGN;
  sigemptyset(&Ignore.sa_mask);
  sigaction(SIGSEGV, &Ignore, nullptr);
}

void SegvBlocked() {
  sigset_t Segv;
  sigemptyset(&Segv);
  sigaddset(&Segv, SIGSEGV);
  sigprocmask(SIG_BLOCK, &Segv, nullptr);
}

template <void (*aChange)()> class TChangeThenCrash : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestChange);
    REGISTER_METHOD(TestCrash);
    REGISTER_METHOD(TestAfter);
  }
  void TestChange() { aChange(); }
  void TestCrash() { WriteThroughNull(); }
  void TestAfter() { Check(true, "still running"); }
};

} // namespace

class TSegvDefault : public TChangeThenCrash<&SegvDefault> {
  using TChangeThenCrash::TChangeThenCrash;
};
class TSegvIgnored : public TChangeThenCrash<&SegvIgnored> {
  using TChangeThenCrash::TChangeThenCrash;
};
class TSegvBlocked : public TChangeThenCrash<&SegvBlocked> {
  using TChangeThenCrash::TChangeThenCrash;
};
class TAllBlocked : public TChangeThenCrash<&BlockAll> {
  using TChangeThenCrash::TChangeThenCrash;
};

// Run with a time limit of 0.1 s.
class TBlockedPastLimit : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestBlockAndSleep);
    REGISTER_METHOD(TestShort);
    REGISTER_METHOD(TestHang);
  }
  void TestBlockAndSleep() {
    BlockAll();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  void TestShort() {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Check(true, "short one passes");
  }
  void TestHang() {
    volatile unsigned long Counter = 0;
    for (;;)
      Counter = Counter + 1;
  }
};

REGISTER_UNIT_TEST(TSegvDefault);
REGISTER_UNIT_TEST(TSegvIgnored);
REGISTER_UNIT_TEST(TSegvBlocked);
REGISTER_UNIT_TEST(TAllBlocked);
REGISTER_UNIT_TEST(TBlockedPastLimit);

extern "C" KALVORO_EXPORT void Register() {}
