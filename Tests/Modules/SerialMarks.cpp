// Unit tests that mark in a file when each of their methods begins and ends
// (the file that KALVORO_MARKS names; nothing without it), each method
// taking a while, so that a parallel run shows which of them ran side by side.
#include "UnitTest.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

void Mark(const std::string& aWhat) {
  if (const char* File = std::getenv("KALVORO_MARKS"))
    std::ofstream(File, std::ios::app) << aWhat << std::endl;
}

} // namespace

template <int N> class TMarks : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestOne);
    REGISTER_METHOD(TestTwo);
  }
  void TestOne() { Work("One"); }
  void TestTwo() { Work("Two"); }

private:
  void Work(const char* aMethod) {
    const std::string Name = "TMarks" + std::to_string(N) + "." + aMethod;
    Mark("begin " + Name);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    Mark("end " + Name);
    Check(true, "worked");
  }
};

using TMarks1 = TMarks<1>;
using TMarks2 = TMarks<2>;
using TMarks3 = TMarks<3>;
using TMarks4 = TMarks<4>;
REGISTER_UNIT_TEST(TMarks1);
REGISTER_UNIT_TEST(TMarks2);
REGISTER_UNIT_TEST(TMarks3);
REGISTER_UNIT_TEST(TMarks4);

extern "C" KALVORO_EXPORT void Register() {}
