// Shared pieces of the reporting tests: a pinned clock and a small scenario of
// in-process unit tests that pass, fail, raise and are skipped.
#pragma once

#include "Formatters.h"
#include "UnitTest.h"
#include "UnitTestBase.h"

#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace ReportingTest {

using namespace Kalvoro;

// Returns the given times one per call, then keeps returning the last.
inline TClock SequenceClock(std::vector<TDateTime> aTimes) {
  auto Times = std::make_shared<std::vector<TDateTime>>(std::move(aTimes));
  auto Next = std::make_shared<std::size_t>(0);
  return [Times, Next] {
    const TDateTime Result = (*Times)[*Next];
    if (*Next + 1 < Times->size())
      ++*Next;
    return Result;
  };
}

inline const TDateTime Begin{2026, 12, 7, 3, 45, 22};
inline const TDateTime End{2026, 12, 7, 3, 45, 23};
inline const TFormatSettings Slashes{'/', ':'};

// The unit test of the worked examples.
class TMathTest : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestAdd);
    REGISTER_METHOD(TestDivide);
    REGISTER_METHOD(TestModulo);
  }
  void TestAdd() {
    Check(2 + 2 == 4, "2+2 gives 4");
    Report("adding done");
  }
  void TestDivide() {
    Check(false, "third is 0.33");
    throw Exception("Index out of range");
  }
  void TestModulo() { throw Exception("Modulo by zero"); }
};

class TFileTest : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestOpen); }
  void TestOpen() { Check(true, "opened"); }
};

// Scenario "Nightly": TMathTest, then TFileTest disabled.
struct TSampleScenario {
  TSampleScenario() {
    Math.SetName("TMathTest");
    Math.Register();
    File.SetName("TFileTest");
    File.Register();
    Scenario.AddUnitTest(&Math);
    Scenario.AddUnitTest(&File);
    File.SetEnabled(false);
  }
  ~TSampleScenario() { Scenario.RemoveAllUnitTests(); }

  TModule Module{"sample.so"};
  TTestScenario Scenario{"Nightly"};
  TMathTest Math{&Module};
  TFileTest File{&Module};
};

// The log of the worked example, TSampleScenario's run, as the sinks and the
// log formatter must give it: one baseline for every test that checks it.
inline std::vector<std::string> WorkedExampleLog() {
  std::ifstream Stream(std::string(KALVORO_SOURCE_DIR) + "/Tests/Reporting/WorkedExample.log");
  std::vector<std::string> Lines;
  for (std::string Line; std::getline(Stream, Line);)
    Lines.push_back(Line);
  return Lines;
}

// The error list of the same run.
inline const std::vector<std::string> WorkedExampleErrors = {
    "FAILURE (TMathTest.TestDivide) third is 0.33",
    "EXCEPTION (TMathTest.TestDivide) Index out of range",
    "EXCEPTION (TMathTest.TestModulo) Modulo by zero",
};

} // namespace ReportingTest
