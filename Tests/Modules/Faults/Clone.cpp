// A child made by the clone system call (no fork handlers run) that returns:
// it comes back into the run as a copy of it, unseen by anything that
// watches fork. The parent waits for the child, then fails a check of its
// own, so that a result taken from the child would read as success.
#include "FaultTest.h"

#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

class TClone : public TFaultTest {
public:
  using TFaultTest::TFaultTest;

protected:
  void Fault() override {
    const long Child = syscall(SYS_clone, SIGCHLD, nullptr, nullptr, nullptr, nullptr);
    if (Child == 0)
      return;
    Check(Child > 0, "clone made a child");
    int Status = 0;
    waitpid(static_cast<pid_t>(Child), &Status, 0);
    Check(false, "the parent's own failure");
  }
};

REGISTER_UNIT_TEST(TClone);

extern "C" KALVORO_EXPORT void Register() {}
