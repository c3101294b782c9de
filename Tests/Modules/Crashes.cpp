// Test methods that crash in every way the crash guard knows. Every operand is
// volatile so that the faulting instruction stays in the code.
#include "UnitTest.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

void WriteThroughNull() {
  int* volatile Pointer = nullptr;
  *Pointer = 1;
}

int DivideByZero() {
  volatile int Numerator = 1;
  volatile int Zero = 0;
  return Numerator / Zero;
}

// Unbounded as long as the flag stays set, which the compiler cannot know.
volatile bool KeepRecursing = true;
int Recurse(int aDepth) {
  volatile char Frame[512];
  Frame[0] = static_cast<char>(aDepth);
  if (KeepRecursing)
    return Recurse(aDepth + 1) + Frame[0];
  return Frame[0];
}

// Reads a page of a shared mapping beyond the end of an empty file.
int ReadBeyondEndOfFile() {
  std::FILE* File = std::tmpfile();
  if (File == nullptr)
    return 0;
  void* Map = mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fileno(File), 0);
  if (Map == MAP_FAILED)
    return 0;
  return *static_cast<volatile char*>(Map);
}

} // namespace

class TCrashMethods : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestAccessViolation);
    REGISTER_METHOD(TestDivideByZero);
    REGISTER_METHOD(TestAbort);
    REGISTER_METHOD(TestIllegalInstruction);
    REGISTER_METHOD(TestBusError);
    REGISTER_METHOD(TestAfterCrashes);
  }
  void TestAccessViolation() { WriteThroughNull(); }
  void TestDivideByZero() { Report(std::to_string(DivideByZero())); }
  void TestAbort() { std::abort(); }
  void TestIllegalInstruction() { __builtin_trap(); }
  void TestBusError() { Report(std::to_string(ReadBeyondEndOfFile())); }
  void TestAfterCrashes() { Check(true, "still running"); }
};

class TStackOverflow : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestOverflow);
    REGISTER_METHOD(TestAfterOverflow);
  }
  void TestOverflow() { Report(std::to_string(Recurse(0))); }
  void TestAfterOverflow() { Check(true, "still running"); }
};

class TCrashInInit : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestNeverCalled); }
  void Init() override { WriteThroughNull(); }
  void TestNeverCalled() { Report("method ran"); }
};

class TCrashInExit : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestPasses); }
  void TestPasses() { Check(true, "method passes"); }
  void Exit() override { std::abort(); }
};

REGISTER_UNIT_TEST(TCrashMethods);
REGISTER_UNIT_TEST(TStackOverflow);
REGISTER_UNIT_TEST(TCrashInInit);
REGISTER_UNIT_TEST(TCrashInExit);

extern "C" KALVORO_EXPORT void Register() {}
