// fork() in a test whose child returns: the child comes back into the run as
// a copy of it. The parent waits for the child, then fails a check of its
// own, so that a result taken from the child would read as success.
#include "FaultTest.h"

#include <sys/wait.h>
#include <unistd.h>

class TFork : public TFaultTest {
public:
  using TFaultTest::TFaultTest;

protected:
  void Fault() override {
    const pid_t Child = fork();
    if (Child == 0)
      return;
    Check(Child > 0, "fork made a child");
    int Status = 0;
    waitpid(Child, &Status, 0);
    Check(false, "the parent's own failure");
  }
};

REGISTER_UNIT_TEST(TFork);

extern "C" KALVORO_EXPORT void Register() {}
