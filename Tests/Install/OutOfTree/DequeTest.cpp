// Passing methods under names that need care on their way into CTest: a
// namespace (':' separates filter patterns) and a template argument with
// brackets (special in CMake lists).
#include "UnitTest.h"

#include <array>
#include <deque>

namespace Queues {

class TDequeTest : public TUnitTest {
public:
  using TUnitTest::TUnitTest;

  void Register() override {
    REGISTER_METHOD(TestPushFront);
    REGISTER_METHOD(TestPopBack);
  }

  void TestPushFront() {
    std::deque<int> Deque{2};
    Deque.push_front(1);
    CheckEqual(1, Deque.front(), "front");
  }

  void TestPopBack() {
    std::deque<int> Deque{1, 2};
    Deque.pop_back();
    CheckEqual(std::size_t{1}, Deque.size(), "size");
  }
};

template <class T> class TRingTest : public TUnitTest {
public:
  using TUnitTest::TUnitTest;

  void Register() override { REGISTER_METHOD(TestSize); }

  void TestSize() { CheckEqual(std::size_t{2}, std::array<T, 2>{}.size(), "size"); }
};

} // namespace Queues

REGISTER_UNIT_TEST(Queues::TDequeTest);
REGISTER_UNIT_TEST(Queues::TRingTest<int[2]>);

extern "C" KALVORO_EXPORT void Register() {}
