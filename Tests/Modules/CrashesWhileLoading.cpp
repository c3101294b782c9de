// A module that crashes while it is loaded or released, at the step that
// KALVORO_CRASH_AT names: "start-up" (a global object's constructor),
// "start-up exit" (the constructor calls exit(3)), "start-up hang" (it never
// returns), "start-up thread" (it starts a thread that stays; no crash),
// "Register", "unit test" (a
// unit test's Register), "shut-down" (a global object's destructor) or "unit
// test destructor"; built as a package too,
// with "Initialize" and "Finalize". Unset, the module loads and works.
#include "UnitTest.h"

#include <cstdlib>
#include <cstring>
#include <thread>
#include <unistd.h>

namespace {

bool CrashesAt(const char* aStep) {
  const char* Step = std::getenv("KALVORO_CRASH_AT");
  return Step != nullptr && std::strcmp(Step, aStep) == 0;
}

void CrashIf(const char* aStep) {
  if (CrashesAt(aStep)) {
    int* volatile Pointer = nullptr;
    *Pointer = 1;
  }
}

struct TStartUp {
  TStartUp() {
    CrashIf("start-up");
    if (CrashesAt("start-up exit"))
      std::exit(3);
    while (CrashesAt("start-up hang"))
      pause();
    if (CrashesAt("start-up thread"))
      std::thread([] {
        for (;;)
          pause();
      }).detach();
  }
  ~TStartUp() { CrashIf("shut-down"); }
} StartUp;

} // namespace

class TFine : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestFine); }
  void TestFine() { Check(true, "fine"); }
};

class TCrashingRegister : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  ~TCrashingRegister() override { CrashIf("unit test destructor"); }
  void Register() override {
    REGISTER_METHOD(TestFine);
    CrashIf("unit test");
  }
  void TestFine() { Check(true, "fine"); }
};

REGISTER_UNIT_TEST(TFine);
REGISTER_UNIT_TEST(TCrashingRegister);

extern "C" KALVORO_EXPORT void Register() {
  CrashIf("Register");
}

#ifdef KALVORO_CRASHING_PACKAGE
extern "C" KALVORO_EXPORT void Initialize() {
  CrashIf("Initialize");
}

extern "C" KALVORO_EXPORT void Finalize() {
  CrashIf("Finalize");
  Kalvoro::DestroyUnitTestRegistry();
}
#endif
