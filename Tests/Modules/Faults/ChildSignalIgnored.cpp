// A module whose start-up ignores SIGCHLD, in every process that loads it
// (the runner too), and a method that ends its process with status 3.
#include "FaultTest.h"

#include <csignal>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
struct TIgnoreChildren {
  TIgnoreChildren() { std::signal(SIGCHLD, SIG_IGN); }
} IgnoreChildren;
} // namespace

class TChildSignalIgnored : public TFaultTest {
public:
  using TFaultTest::TFaultTest;

protected:
  // The system call itself: the library catches _exit as it catches exit.
  void Fault() override { syscall(SYS_exit_group, 3); }
};

REGISTER_UNIT_TEST(TChildSignalIgnored);

extern "C" KALVORO_EXPORT void Register() {}
