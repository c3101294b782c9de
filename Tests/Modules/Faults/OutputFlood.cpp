// Standard output that a runner must pass on without holding it: 64 MiB
// without a line break, then the output file made 512 MiB long by ftruncate
// (a hole that nobody wrote) and a line after it; a unit test before them
// that takes a while, so that with two jobs they run ahead of the run.
#include "UnitTest.h"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace {
void WriteAll(const std::string& aText) {
  std::size_t Done = 0;
  while (Done < aText.size()) {
    const ssize_t Written = write(STDOUT_FILENO, aText.data() + Done, aText.size() - Done);
    if (Written <= 0)
      return;
    Done += static_cast<std::size_t>(Written);
  }
}
} // namespace

class TOutputFirst : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestAWhile); }
  void TestAWhile() {
    usleep(500 * 1000);
    Check(true, "waited");
  }
};

class TOutputFlood : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestFlood);
    REGISTER_METHOD(TestHole);
    REGISTER_METHOD(TestAfter);
  }
  void TestFlood() {
    WriteAll("<first>");
    const std::string Block(1u << 20, 'x');
    for (int Round = 0; Round < 64; ++Round)
      WriteAll(Block);
    WriteAll("<last>");
    Check(true, "flooded");
  }
  void TestHole() {
    if (ftruncate(STDOUT_FILENO, 512L << 20) != 0)
      Report("the output cannot be truncated here");
    WriteAll("after the hole\n");
  }
  void TestAfter() {
    std::printf("after the flood\n");
    Check(false, "fails after the flood");
  }
};

REGISTER_UNIT_TEST(TOutputFirst);
REGISTER_UNIT_TEST(TOutputFlood);

extern "C" KALVORO_EXPORT void Register() {}
