// A test that moves its host into its runner's process group, blocks every
// signal with a system call of its own (past the library's repair) and
// waits for ever: neither the host's own time limit nor a signal to the
// host's group can end it.
#include "FaultTest.h"

#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

class TEscapingHost : public TFaultTest {
public:
  using TFaultTest::TFaultTest;

protected:
  void Fault() override {
    setpgid(0, getpgid(getppid()));
    sigset_t All;
    sigfillset(&All);
    syscall(SYS_rt_sigprocmask, SIG_BLOCK, &All, nullptr, _NSIG / 8);
    for (;;)
      pause();
  }
};

REGISTER_UNIT_TEST(TEscapingHost);

extern "C" KALVORO_EXPORT void Register() {}
