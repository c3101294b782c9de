// A module whose start-up does what a program must not let into itself: it
// takes a lock, installs a SIGSEGV handler, ignores SIGCHLD, starts a
// thread, changes directory and sets a variable; its destructor hangs once
// a method has run in its process. Each process that loads or unloads it
// writes "start|end PID PROGRAM" to the file that KALVORO_PROCESS_LOG names,
// so that a test sees which processes ran its code.
#include "UnitTest.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

bool Stayed = false;

void Note(const char* aWhat) {
  const char* Log = std::getenv("KALVORO_PROCESS_LOG");
  if (Log == nullptr)
    return;
  char Program[4096] = {};
  const ssize_t Size = readlink("/proc/self/exe", Program, sizeof Program - 1);
  if (Size > 0)
    Program[Size] = 0;
  if (FILE* File = std::fopen(Log, "a")) {
    std::fprintf(File, "%s %d %s\n", aWhat, static_cast<int>(getpid()), Program);
    std::fclose(File);
  }
}

void OwnSegvHandler(int) {
  _exit(77);
}

struct THostile {
  THostile() {
    Note("start");
    // KALVORO_HOSTILE names the file to lock.
    const char* LockFile = std::getenv("KALVORO_HOSTILE");
    if (LockFile == nullptr)
      return;
    // A lock on a file, held for the life of the process.
    const int Lock = open(LockFile, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (Lock >= 0)
      flock(Lock, LOCK_EX);
    struct sigaction Action {};
    Action.sa_handler = &OwnSegvHandler;
    sigaction(SIGSEGV, &Action, nullptr);
    std::signal(SIGCHLD, SIG_IGN);
    std::thread([] {
      for (;;)
        pause();
    }).detach();
    if (chdir("/") != 0)
      std::abort();
    setenv("KALVORO_HOSTILE_WAS_HERE", "1", 1);
  }
  ~THostile() {
    Note("end");
    if (Stayed && std::getenv("KALVORO_HOSTILE") != nullptr)
      for (;;)
        pause();
  }
} Hostile;

} // namespace

class THostileStartUp : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestStays);
    REGISTER_METHOD(TestCrashes);
    REGISTER_METHOD(TestEndsItsProcess);
    REGISTER_METHOD(TestAfter);
  }
  void TestStays() {
    Stayed = true;
    Check(true, "stays");
  }
  void TestCrashes() {
    int* volatile Pointer = nullptr;
    *Pointer = 1;
  }
  void TestEndsItsProcess() { syscall(SYS_exit_group, 3); }
  void TestAfter() { Check(true, "runs after"); }
};

REGISTER_UNIT_TEST(THostileStartUp);

extern "C" KALVORO_EXPORT void Register() {}
