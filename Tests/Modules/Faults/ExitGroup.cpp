// The exit_group system call after a failed check: every thread ends at
// once, with status 0, past any exit function of the C library.
#include "FaultTest.h"

#include <sys/syscall.h>
#include <unistd.h>

class TExitGroup : public TFaultTest {
public:
  using TFaultTest::TFaultTest;

protected:
  void Fault() override {
    Check(false, "fails before exit_group");
    syscall(SYS_exit_group, 0);
  }
};

REGISTER_UNIT_TEST(TExitGroup);

extern "C" KALVORO_EXPORT void Register() {}
