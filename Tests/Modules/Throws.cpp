// Test methods, Init and Exit that throw what is not a std::exception; each
// throw becomes an exception of its phase and the run goes on. Two
// registrations share a line on purpose.
#include "UnitTest.h"

#include <string>

namespace Library {
// A library's own error type, unrelated to std::exception.
struct TError {
  int Code;
};
} // namespace Library

class TThrows : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    // clang-format off
    REGISTER_METHOD(TestInt); REGISTER_METHOD(TestCString);
    // clang-format on
    REGISTER_METHOD(TestString);
    REGISTER_METHOD(TestCustom);
    REGISTER_METHOD(TestAfterThrows);
  }
  void TestInt() { throw 42; }
  void TestCString() { throw "plain text"; }
  void TestString() { throw std::string("string text"); }
  void TestCustom() { throw Library::TError{7}; }
  void TestAfterThrows() { Check(true, "still running"); }
};

class TThrowInInit : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestNeverCalled); }
  void Init() override { throw 42; }
  void TestNeverCalled() { Report("method ran"); }
};

class TThrowInExit : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestPasses); }
  void TestPasses() { Check(true, "method passes"); }
  void Exit() override { throw Library::TError{8}; }
};

REGISTER_UNIT_TEST(TThrows);
// clang-format off
REGISTER_UNIT_TEST(TThrowInInit); REGISTER_UNIT_TEST(TThrowInExit);
// clang-format on

extern "C" KALVORO_EXPORT void Register() {}
