// A test method that writes to standard output itself between failing checks,
// with printf and with write on the descriptor, so that the order of its
// lines and the runner's can be seen on a pipe.
#include "UnitTest.h"

#include <cstdio>
#include <unistd.h>

class TPrints : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestPrints); }
  void TestPrints() {
    std::printf("own line 1\n");
    Check(false, "runner line 1");
    std::printf("own line 2\n");
    Check(false, "runner line 2");
    const char Direct[] = "own line 3\n";
    if (write(STDOUT_FILENO, Direct, sizeof Direct - 1) < 0)
      Check(false, "write failed");
    Check(false, "runner line 3");
  }
};

REGISTER_UNIT_TEST(TPrints);

extern "C" KALVORO_EXPORT void Register() {}
