#include "UnitTest.h"

#include <cstddef>
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
    CheckEqual(1, Queue.front(), "first in, first out");
  }

  void TestEmptyFront() {
    std::queue<int> Queue;
    CheckEqual(std::size_t{2}, Queue.size(), "a new queue has elements");
  }
};

extern "C" KALVORO_EXPORT void Register() {
  REGISTER_UNIT_TEST(TQueueTest);
}
