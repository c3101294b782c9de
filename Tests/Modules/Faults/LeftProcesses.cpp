// Processes that a test starts and leaves running, each beyond what ending
// the host's process group reaches, or with the host ending by itself: a
// child in the host's group when the host then calls _exit, a child in a
// session of its own, and a grandchild of a double fork in a session of its
// own. Each left process appends its pid to the file that the environment
// variable KALVORO_TEST_LEFT_PIDS names before its test goes on, so that a
// test can look for it once the run has ended.
#include "UnitTest.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

enum class TWay { InGroup, OwnSession, DoubleFork };

// In the left process: records its pid, tells its test, and waits for ever.
[[noreturn]] void StayBehind(const char* aPidFile, int aReady) {
  const int File = open(aPidFile, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  char Line[32];
  const int Length = std::snprintf(Line, sizeof Line, "%d\n", static_cast<int>(getpid()));
  if (File >= 0 && write(File, Line, static_cast<std::size_t>(Length)) == Length &&
      write(aReady, "r", 1) == 1)
    for (;;)
      pause();
  _exit(1);
}

// Leaves a process behind in the given way; true once it has told its pid.
bool Leave(TWay aWay) {
  const char* PidFile = std::getenv("KALVORO_TEST_LEFT_PIDS");
  int Ready[2];
  if (PidFile == nullptr || pipe(Ready) != 0)
    return false;
  const pid_t Child = fork();
  if (Child == 0) {
    close(Ready[0]);
    if (aWay != TWay::InGroup)
      setsid();
    if (aWay == TWay::DoubleFork && fork() != 0)
      _exit(0);
    StayBehind(PidFile, Ready[1]);
  }
  close(Ready[1]);
  if (aWay == TWay::DoubleFork && Child > 0)
    waitpid(Child, nullptr, 0);
  char Byte = 0;
  const bool Told = Child > 0 && read(Ready[0], &Byte, 1) == 1;
  close(Ready[0]);
  return Told;
}

} // namespace

class TLeftInGroupThenExit : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestLeave); }
  void TestLeave() {
    Check(Leave(TWay::InGroup), "left a child in the group");
    // The system call itself: the library catches _exit as it catches exit.
    syscall(SYS_exit_group, 0);
  }
};

class TLeftInOwnSession : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestLeave); }
  void TestLeave() { Check(Leave(TWay::OwnSession), "left a child in a session of its own"); }
};

class TLeftInOwnSessionThenExit : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestLeave); }
  void TestLeave() {
    Check(Leave(TWay::OwnSession), "left a child in a session of its own");
    // The host ends at once: it ends nothing.
    syscall(SYS_exit_group, 0);
  }
};

class TLeftDoubleForked : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestLeave); }
  void TestLeave() { Check(Leave(TWay::DoubleFork), "left a grandchild"); }
};

REGISTER_UNIT_TEST(TLeftInGroupThenExit);
REGISTER_UNIT_TEST(TLeftInOwnSession);
REGISTER_UNIT_TEST(TLeftInOwnSessionThenExit);
REGISTER_UNIT_TEST(TLeftDoubleForked);

extern "C" KALVORO_EXPORT void Register() {}
