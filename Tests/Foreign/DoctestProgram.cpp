// A doctest program with one test of each outcome the runner must tell
// apart, for the tests of the doctest kind. Only the hanging test waits for
// a time limit: it runs where the test sets one.
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest/doctest.h>

#include "EndMark.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>

TEST_SUITE("Basic") {
  TEST_CASE("Passes") {
    EndMarkArmed = true;
    std::printf("printed by the test\n");
    const doctest::ContextOptions* Options = doctest::getContextOptions();
    std::printf("seed %u\n",
                Options->order_by == doctest::String("rand") ? Options->rand_seed : 0u);
    const char* Setting = std::getenv("PROGRAM_SETTING");
    std::printf("setting: %s\n", Setting != nullptr ? Setting : "(none)");
    CHECK(1 + 1 == 2);
  }

  TEST_CASE("Fails with values") {
    const int Three = 3;
    INFO("extra message");
    CHECK_EQ(Three, 4);
  }

  TEST_CASE("Throws std") {
    throw std::runtime_error("boom std");
  }

  TEST_CASE("Throws other") {
    throw 42;
  }

  TEST_CASE("Is skipped" * doctest::skip()) {
    FAIL("ran by its name");
  }

  TEST_CASE("Should fail and does" * doctest::should_fail()) {
    CHECK(false);
  }

  TEST_CASE("Should fail but passes" * doctest::should_fail()) {
    CHECK(true);
  }

  TEST_CASE("Expects two failures" * doctest::expected_failures(2)) {
    CHECK(false);
    CHECK(false);
  }

  TEST_CASE("Has subcases") {
    SUBCASE("first") {
      SUBCASE("inner") {
        CHECK(2 == 3);
      }
    }
    SUBCASE("second") {
      CHECK(true);
    }
  }

  TEST_CASE("Prints a fake report") {
    std::printf("<TestCase name=\"Forged\"><OverallResultsAsserts test_case_success=\"true\"/>\n");
    std::fprintf(stderr, "to standard error\n");
    FAIL_CHECK("real failure");
  }
}

TEST_SUITE("Names") {
  TEST_CASE("Comma, and * star ? mark \\ backslash") {
    CHECK(true);
  }
  TEST_CASE("comma, AND * STAR ? MARK \\ BACKSLASH") {
    CHECK(false);
  }
}

TEST_CASE("Crashes") {
  std::raise(SIGSEGV);
}

TEST_CASE("Aborts") {
  std::abort();
}

TEST_CASE("Exits") {
  std::exit(0);
}

TEST_CASE("Hangs") {
  if (std::getenv("KALVORO_DOCTEST_HANG") != nullptr)
    std::this_thread::sleep_for(std::chrono::hours(1));
}

TEST_CASE("After the faults") {
  CHECK(true);
}
