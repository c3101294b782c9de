// A unit test's thread that fails checks and reports while another unit
// test's method runs: each of those messages is dropped and counted, in
// process and in a run host alike (six of them).
#include "UnitTest.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {
// 1: the thread may send; 2: it has sent.
std::atomic<int> Stage{0};

// The thread, joined by the second unit test (let go should that not run).
struct TSender {
  std::thread Thread;
  ~TSender() {
    if (Thread.joinable())
      Thread.detach();
  }
} Sender;

void WaitFor(int aStage) {
  for (int Round = 0; Round < 10000 && Stage.load() != aStage; ++Round)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}
} // namespace

class TLateSender : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestStartThread); }
  void TestStartThread() {
    if (Sender.Thread.joinable()) {
      Stage = 1;
      Sender.Thread.join();
    }
    Stage = 0;
    Sender.Thread = std::thread([this] {
      WaitFor(1);
      for (int Round = 0; Round < 3; ++Round) {
        Check(false, "late check from a thread");
        Report("late report from a thread");
      }
      Stage = 2;
    });
    Check(true, "the thread waits for the next unit test");
  }
};

class TLateWaiter : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestWhileTheThreadSends); }
  void TestWhileTheThreadSends() {
    Stage = 1;
    if (Sender.Thread.joinable())
      Sender.Thread.join();
    Check(Stage.load() == 2, "the thread sent while this method ran");
  }
};

REGISTER_UNIT_TEST(TLateSender);
REGISTER_UNIT_TEST(TLateWaiter);

extern "C" KALVORO_EXPORT void Register() {}
