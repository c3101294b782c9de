// Demo: a test module to learn from.
//
// A module is a shared library built with kalvoro_add_test_module(). Each
// unit-test class derives from TUnitTest, lists its test methods in Register()
// with REGISTER_METHOD, and is registered with the module by
// REGISTER_UNIT_TEST. The manager creates one object per registered class and,
// for every test method, calls Init(), the method, then Exit().
//
// Check(condition, text) states a condition: a failed check marks the method
// as failed and the method goes on. CheckEqual(expected, actual, text),
// CheckNear(expected, actual, tolerance, text) and
// CheckThrows<TException>(callable, text) check values; when they fail, the
// text says what they saw, e.g. "push adds one element (expected: 3,
// actual: 2)". Every check records its file and line, which the console
// runner prints before a failure (".../DemoTests.cpp:46: FAILURE ...") and JUnit
// reports carry. Report(text) writes a line to the log.
// Any exception that leaves Init, a method or Exit is caught and reported, and
// so is a crash (a bad pointer, a division by zero, abort()).
#include "UnitTest.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

// A unit test whose methods pass, fail and throw.
class TMathTest : public TUnitTest {
public:
  using TUnitTest::TUnitTest;

  void Register() override {
    REGISTER_METHOD(TestAdd);
    REGISTER_METHOD(TestDivide);
    REGISTER_METHOD(TestModulo);
  }

  void TestAdd() {
    CheckEqual(4, 2 + 2, "2+2 gives 4");
    CheckEqual(0, -3 + 3, "-3+3 gives 0");
    Report("adding done");
  }

  void TestDivide() {
    CheckEqual(2, 10 / 4, "integer division truncates");
    // Fails: a third is not exactly 0.33. The method goes on after it.
    Check(1.0 / 3.0 == 0.33, "third is 0.33");
    Report("dividing done");
  }

  void TestModulo() {
    std::vector<int> Values{1, 2, 3};
    // Throws std::out_of_range: reported as an exception of this method.
    Check(Values.at(3) % 2 == 0, "fourth value is even");
  }
};

// Init and Exit run around every test method; here they manage a resource.
class TStackTest : public TUnitTest {
public:
  using TUnitTest::TUnitTest;

  void Register() override {
    REGISTER_METHOD(TestPush);
    REGISTER_METHOD(TestPop);
  }

  void Init() override { FStack = {1, 2}; }
  void Exit() override { FStack.clear(); }

  void TestPush() {
    FStack.push_back(3);
    CheckEqual(std::size_t{3}, FStack.size(), "push adds one element");
    CheckEqual(3, FStack.back(), "pushed element is on top");
  }

  void TestPop() {
    FStack.pop_back();
    CheckEqual(std::size_t{1}, FStack.size(), "pop removes one element");
    Report("top is now " + std::to_string(FStack.back()));
  }

private:
  std::vector<int> FStack;
};

// An exception in Init: the method itself is not called.
class TBrokenInitTest : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestNeverRuns); }
  void Init() override { throw std::runtime_error("database not reachable"); }
  void TestNeverRuns() { Report("this line is never written"); }
};

// An exception in Exit: the method ran and passed, yet it ends as an exception.
class TBrokenExitTest : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestRuns); }
  void TestRuns() { Check(true, "method body passes"); }
  void Exit() override { throw std::runtime_error("cleanup failed"); }
};

// A method that crashes: the crash is caught and reported like an exception,
// and the run goes on with the next method.
class TCrashTest : public TUnitTest {
public:
  using TUnitTest::TUnitTest;

  void Register() override {
    REGISTER_METHOD(TestNullPointer);
    REGISTER_METHOD(TestAfterCrash);
  }

  void TestNullPointer() {
    volatile int* volatile Pointer = nullptr;
    Report("about to dereference a null pointer");
    *Pointer = 42;
  }

  void TestAfterCrash() { Check(true, "the run goes on after a crash"); }
};

// A unit test without methods: it runs and succeeds with nothing to do.
class TNoMethodsTest : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {}
};

REGISTER_UNIT_TEST(TMathTest);
REGISTER_UNIT_TEST(TStackTest);
REGISTER_UNIT_TEST(TBrokenInitTest);
REGISTER_UNIT_TEST(TBrokenExitTest);
REGISTER_UNIT_TEST(TCrashTest);

// Register() is called by the manager after loading the module; classes can be
// registered here too.
extern "C" KALVORO_EXPORT void Register() {
  REGISTER_UNIT_TEST(TNoMethodsTest);
}
