// A module whose start-up never ends inside a run host ("kalvoro-host
// --run"), as one that waits for a lock: every host started for it waits in
// its start-up, or, with KALVORO_TEST_STALL_LISTED, every host after the
// one that listed it. With KALVORO_TEST_STALL_MARK set, the host first creates
// that file, so that a test knows that it waits.
#include "UnitTest.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace {

bool InRunHost() {
  std::ifstream CommandLine("/proc/self/cmdline", std::ios::binary);
  const std::string Arguments((std::istreambuf_iterator<char>(CommandLine)),
                              std::istreambuf_iterator<char>());
  return Arguments.find(std::string("\0--run\0", 7)) != std::string::npos;
}

struct TStallInHost {
  TStallInHost() {
    if (!InRunHost())
      return;
    // With KALVORO_TEST_STALL_LISTED set, the first host (the one that lists
    // the module) goes on and leaves a thread, so that it retires after the
    // listing; the hosts that load it after that, to run it, wait.
    if (const char* Listed = std::getenv("KALVORO_TEST_STALL_LISTED");
        Listed != nullptr && access(Listed, F_OK) != 0) {
      const int File = open(Listed, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
      if (File >= 0)
        close(File);
      std::thread([] {
        for (;;)
          pause();
      }).detach();
      return;
    }
    if (const char* Mark = std::getenv("KALVORO_TEST_STALL_MARK")) {
      const int File = open(Mark, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
      if (File >= 0)
        close(File);
    }
    for (;;)
      pause();
  }
} StallInHost;

} // namespace

class TNeverStarts : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestOne);
    REGISTER_METHOD(TestTwo);
  }
  void TestOne() { Check(true, "one"); }
  void TestTwo() { Check(true, "two"); }
};

REGISTER_UNIT_TEST(TNeverStarts);

extern "C" KALVORO_EXPORT void Register() {}
