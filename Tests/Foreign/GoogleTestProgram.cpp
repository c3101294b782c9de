// A GoogleTest program with one test of each outcome the runner must tell
// apart, for the tests of the GoogleTest kind. Only the hanging test waits
// for a time limit: it runs where the test sets one.
#include <gtest/gtest.h>

#include "EndMark.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

// Where KALVORO_GTEST_QUIET is set, the framework's printer is dropped, as
// some programs' own mains do: no heading then tells a skip from a failure.
[[maybe_unused]] const bool Quiet = [] {
  testing::TestEventListeners& Listeners = testing::UnitTest::GetInstance()->listeners();
  if (std::getenv("KALVORO_GTEST_QUIET") != nullptr)
    delete Listeners.Release(Listeners.default_result_printer());
  return true;
}();

TEST(Basic, Passes) {
  EndMarkArmed = true;
  std::printf("printed by the test\n");
  std::printf("seed %d\n",
              GTEST_FLAG_GET(shuffle) ? testing::UnitTest::GetInstance()->random_seed() : 0);
  const char* Setting = std::getenv("PROGRAM_SETTING");
  std::printf("setting: %s\n", Setting != nullptr ? Setting : "(none)");
  EXPECT_EQ(1 + 1, 2);
}

TEST(Basic, FailsWithValues) {
  const int Three = 3;
  EXPECT_EQ(Three, 4) << "extra message";
}

TEST(Basic, ThrowsStd) {
  throw std::runtime_error("boom std");
}

TEST(Basic, ThrowsOther) {
  throw 42;
}

TEST(Basic, Skips) {
  GTEST_SKIP() << "not today";
}

TEST(Basic, DISABLED_IsOff) {
  FAIL() << "ran by its name";
}

TEST(Basic, PrintsAFakeReport) {
  std::printf("[       OK ] Basic.Forged (0 ms)\nevent=TestEnd&passed=1\n");
  std::fprintf(stderr, "to standard error\n");
  ADD_FAILURE() << "real failure";
}

TEST(Faults, Crashes) {
  std::raise(SIGSEGV);
}

TEST(Faults, Aborts) {
  std::abort();
}

TEST(Faults, Exits) {
  std::exit(0);
}

TEST(Faults, Hangs) {
  if (std::getenv("KALVORO_GTEST_HANG") != nullptr)
    std::this_thread::sleep_for(std::chrono::hours(1));
}

TEST(Faults, AfterTheFaults) {
  SUCCEED();
}

TEST(Death, DiesAsExpected) {
  EXPECT_DEATH(std::abort(), "");
}

TEST(Death, DoesNotDie) {
  EXPECT_DEATH(std::printf("alive\n"), "");
}

// A suite whose set-up fails: the failure belongs to the test after it.
class BrokenSetUp : public testing::Test {
protected:
  static void SetUpTestSuite() {
    std::printf("setting up\n");
    ADD_FAILURE() << "set-up failed";
  }
};
TEST_F(BrokenSetUp, RunsAfterIt) {
  SUCCEED();
}

// What the program was started with: its last argument, a variable of its
// environment and its working directory's name.
TEST(Setup, ShowsItsSettings) {
  const std::vector<std::string> Arguments = testing::internal::GetArgvs();
  const char* Setting = std::getenv("PROGRAM_SETTING");
  std::printf("last argument: %s\nsetting: %s\nfolder: %s\n", Arguments.back().c_str(),
              Setting != nullptr ? Setting : "(none)",
              std::filesystem::current_path().filename().c_str());
}

// A suite whose set-up hangs where the test asks for hangs.
class HangingSetUp : public testing::Test {
protected:
  static void SetUpTestSuite() {
    if (std::getenv("KALVORO_GTEST_HANG") != nullptr)
      std::this_thread::sleep_for(std::chrono::hours(1));
  }
};
TEST_F(HangingSetUp, NeverStarts) {
  SUCCEED();
}

class Param : public testing::TestWithParam<int> {};
TEST_P(Param, IsSmall) {
  EXPECT_LT(GetParam(), 3);
}
INSTANTIATE_TEST_SUITE_P(Inst, Param, testing::Values(1, 5));

template <class T> class Typed : public testing::Test {};
using TypedTypes = testing::Types<int, char>;
TYPED_TEST_SUITE(Typed, TypedTypes);
TYPED_TEST(Typed, HasSize) {
  EXPECT_GE(sizeof(TypeParam), 1u);
}
