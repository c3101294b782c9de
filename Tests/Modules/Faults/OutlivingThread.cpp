// A thread that outlives its method and reports and fails checks later on.
// The method after it crashes, so that its host ends; the next one waits
// while the thread, were it still alive, would report.
#include "FaultTest.h"

#include <chrono>
#include <thread>

class TOutlivingThread : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestBefore);
    REGISTER_METHOD(TestStartThread);
    REGISTER_METHOD(TestCrash);
    REGISTER_METHOD(TestWait);
    REGISTER_METHOD(TestAfter);
    REGISTER_METHOD(TestFailsAfter);
  }
  void TestBefore() { Check(true, "passes before the fault"); }
  void TestStartThread() {
    std::thread([this] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      for (int Round = 0; Round < 300; ++Round) {
        Report("late report from a thread");
        Check(false, "late check from a thread");
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }).detach();
    Check(true, "the thread runs on");
  }
  void TestCrash() { WriteThroughNull(); }
  void TestWait() {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    Check(true, "waited past the thread's first report");
  }
  void TestAfter() { Check(true, "passes after the fault"); }
  void TestFailsAfter() { Check(false, "fails after the fault"); }
};

REGISTER_UNIT_TEST(TOutlivingThread);

extern "C" KALVORO_EXPORT void Register() {}
