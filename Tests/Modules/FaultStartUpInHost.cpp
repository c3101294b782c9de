// A module whose start-up crashes only inside a run host ("kalvoro-host
// --run"): it loads in the runner and passes the load trial, and every host
// started for it dies before its first method.
#include "UnitTest.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

bool InRunHost() {
  std::ifstream CommandLine("/proc/self/cmdline", std::ios::binary);
  const std::string Arguments((std::istreambuf_iterator<char>(CommandLine)),
                              std::istreambuf_iterator<char>());
  return Arguments.find(std::string("\0--run\0", 7)) != std::string::npos;
}

struct TCrashInHost {
  TCrashInHost() {
    if (InRunHost()) {
      volatile int* volatile Null = nullptr;
      *Null = 1;
    }
  }
} CrashInHost;

} // namespace

class TNeverInHost : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestOne);
    REGISTER_METHOD(TestTwo);
    REGISTER_METHOD(TestThree);
  }
  void TestOne() { Check(true, "one"); }
  void TestTwo() { Check(true, "two"); }
  void TestThree() { Check(true, "three"); }
};

REGISTER_UNIT_TEST(TNeverInHost);

extern "C" KALVORO_EXPORT void Register() {}
