// A test module as a user built it with the previous release: compiled
// against that release's installed headers and linked with its module part
// (PreviousRelease/), then run by today's programs with today's
// libkalvoro.so. What it does must reach the reports unchanged.
#include "UnitTest.h"

#include <stdexcept>
#include <string>
#include <vector>

// Init and Exit around each method; a method that passes, one that fails a
// check after a passing one, and one that throws.
class TCountTest : public TUnitTest {
public:
  using TUnitTest::TUnitTest;

  void Register() override {
    REGISTER_METHOD(TestPasses);
    REGISTER_METHOD(TestFails);
    REGISTER_METHOD(TestThrows);
  }

  void Init() override { FValues = {1, 2, 3}; }
  void Exit() override { FValues.clear(); }

  void TestPasses() {
    CheckEqual(std::size_t{3}, FValues.size(), "three values");
    CheckThrows<std::out_of_range>([this] { (void)FValues.at(3); }, "a fourth value throws");
    Report("counted " + std::to_string(FValues.size()) + " values");
  }

  void TestFails() {
    Check(FValues[0] == 1, "the first value is 1");
    CheckEqual(7, FValues[0] + FValues[1], "the first two add up to 7");
  }

  void TestThrows() { throw std::runtime_error("thrown by an old module"); }

private:
  std::vector<int> FValues;
};

class TTextFixture : public TFixture {};

// Registered with a fixture.
class TTextTest : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestNear); }
  void TestNear() { CheckNear(1.0, 0.5 + 0.5, 1e-9, "two halves make one"); }
};

// Registered from the module's Register entry.
class TLateTest : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestLate); }
  void TestLate() { Check(false, "registered late, fails"); }
};

REGISTER_UNIT_TEST(TCountTest);
REGISTER_UNIT_TEST_WITH_FIXTURE(TTextTest, TTextFixture);

extern "C" KALVORO_EXPORT void Register() {
  REGISTER_UNIT_TEST(TLateTest);
}
