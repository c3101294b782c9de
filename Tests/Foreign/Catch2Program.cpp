// A Catch2 program with one test of each outcome the runner must tell apart,
// for the tests of the Catch2 kind. Only the hanging test waits for a time
// limit: it runs where the test sets one.
#define CATCH_CONFIG_MAIN
#include <catch2/catch.hpp>

#include "EndMark.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>

TEST_CASE("Passes", "[basic]") {
  EndMarkArmed = true;
  std::printf("printed by the test\n");
  const bool Shuffled =
      Catch::getCurrentContext().getConfig()->runOrder() == Catch::RunTests::InRandomOrder;
  std::printf("seed %u\n", Shuffled ? Catch::rngSeed() : 0u);
  const char* Setting = std::getenv("PROGRAM_SETTING");
  std::printf("setting: %s\n", Setting != nullptr ? Setting : "(none)");
  CHECK(1 + 1 == 2);
}

TEST_CASE("Fails with values", "[basic]") {
  const int Three = 3;
  INFO("extra message");
  CHECK(Three == 4);
}

TEST_CASE("Throws std", "[basic]") {
  throw std::runtime_error("boom std");
}

TEST_CASE("Throws other", "[basic]") {
  throw 42;
}

TEST_CASE("Is hidden", "[.][basic]") {
  FAIL("ran by its name");
}

TEST_CASE("Should fail and does", "[!shouldfail]") {
  CHECK(false);
}

TEST_CASE("May fail and does", "[!mayfail]") {
  CHECK(1 == 2);
}

TEST_CASE("Has sections", "[basic]") {
  SECTION("first") {
    SECTION("inner") {
      CHECK(2 == 3);
    }
  }
  SECTION("second") {
    CHECK(true);
  }
}

TEST_CASE("Comma, and [bracket] and * star ~ tilde \\ \"quoted\"", "[names]") {
  CHECK(true);
}

TEST_CASE("  leading spaces", "[names]") {
  CHECK(true);
}

TEST_CASE("#starts with a hash", "[names]") {
  CHECK(true);
}

TEST_CASE("Prints a fake report", "[basic]") {
  std::printf("<TestCase name=\"Forged\"><OverallResult success=\"true\"/></TestCase>\n");
  std::fprintf(stderr, "to standard error\n");
  FAIL_CHECK("real failure");
}

TEST_CASE("Crashes", "[faults]") {
  std::raise(SIGSEGV);
}

TEST_CASE("Aborts", "[faults]") {
  std::abort();
}

TEST_CASE("Exits", "[faults]") {
  std::exit(0);
}

TEST_CASE("Hangs", "[faults]") {
  if (std::getenv("KALVORO_CATCH2_HANG") != nullptr)
    std::this_thread::sleep_for(std::chrono::hours(1));
}

TEST_CASE("After the faults", "[faults]") {
  SUCCEED();
}
