// Test methods that throw exceptions whose what() has no text to give: one
// returns nullptr, one crashes, one returns a text that cannot be read. Each
// is an exception of its phase with a stand-in text, and the run goes on.
#include "UnitTest.h"

#include <cstdint>
#include <exception>

namespace Library {

struct TNoText : std::exception {
  const char* what() const noexcept override { return nullptr; }
};

struct TCrashingText : std::exception {
  const char* what() const noexcept override {
    const char* volatile* Text = nullptr;
    return *Text;
  }
};

struct TUnreadableText : std::exception {
  const char* what() const noexcept override {
    volatile std::uintptr_t Address = 16;
    return reinterpret_cast<const char*>(Address);
  }
};

} // namespace Library

class TBadWhat : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestNoText);
    REGISTER_METHOD(TestCrashingText);
    REGISTER_METHOD(TestUnreadableText);
    REGISTER_METHOD(TestAfterThrows);
  }
  void TestNoText() { throw Library::TNoText(); }
  void TestCrashingText() { throw Library::TCrashingText(); }
  void TestUnreadableText() { throw Library::TUnreadableText(); }
  void TestAfterThrows() { Check(true, "still running"); }
};

class TBadWhatInExit : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestPasses); }
  void TestPasses() { Check(true, "method passes"); }
  void Exit() override { throw Library::TCrashingText(); }
};

REGISTER_UNIT_TEST(TBadWhat);
REGISTER_UNIT_TEST(TBadWhatInExit);

extern "C" KALVORO_EXPORT void Register() {}
