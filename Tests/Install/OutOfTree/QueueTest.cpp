#include "UnitTest.h"

#include <queue>

class TQueueTest : public TUnitTest {
public:
  using TUnitTest::TUnitTest;

  void Register() override {
    REGISTER_METHOD(TestFifo);
    REGISTER_METHOD(TestEmptyFront);
  }

  void TestFifo() {
    std::queue<int> Queue;
    Queue.push(1);
    Queue.push(2);
    Check(Queue.front() == 1, "first in, first out");
  }

  void TestEmptyFront() {
    std::queue<int> Queue;
    Check(!Queue.empty(), "a new queue has elements");
  }
};

extern "C" KALVORO_EXPORT void Register() {
  REGISTER_UNIT_TEST(TQueueTest);
}
