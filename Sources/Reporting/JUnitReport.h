// A JUnit XML report of one or more scenario runs, for CI systems.
#pragma once

#include "RunListener.h"
#include "UnitTestMethod.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace Kalvoro {

class TTestScenario;
class TUnitTestBase;

// Where the report takes its time readings from; tests pin it.
using TSteadyClock = std::function<std::chrono::nanoseconds()>;
std::chrono::nanoseconds SteadyNow();

// The method name of a report line that the runner took from a test's
// standard error (a sanitizer's report): JUnit keeps such lines in the test
// case's <system-err>, the other reports in its <system-out>.
inline constexpr const char* StandardErrorSource = "<standard error>";

// Collects, per unit test and test method, the wall time (from the start of
// the method's Init to the end of its Exit), the texts of failed checks, the
// texts of exceptions (those of Init and Exit prefixed "Init: " and "Exit: "),
// the reported lines (and those of its standard error), and the result. Methods still tcrTodo when
// the scenario finishes (those of disabled unit tests) are reported as skipped.
//
// Attach it to a scenario before Run and detach it after; it may be attached
// to several scenarios in turn. Each unit test becomes one <testsuite>; when
// more than one scenario run is reported, suite names read "Scenario/TUnitTest"
// so that equal unit-test names in different scenarios stay apart. A method is
// counted by its result (tcrFailure as a failure, tcrException as an error) and
// lists all of its failed checks and exceptions.
class TJUnitReport : public IRunListener {
public:
  explicit TJUnitReport(TSteadyClock aClock = SteadyNow);
  ~TJUnitReport();
  TJUnitReport(const TJUnitReport&) = delete;
  TJUnitReport& operator=(const TJUnitReport&) = delete;

  // Starts listening to aTestScenario (detaching from a previous one first).
  void Attach(TTestScenario* aTestScenario);
  // Stops listening. A run that did not finish (it raised) is closed with the
  // results that its methods have now.
  void Detach();
  TTestScenario* TestScenario() const { return FTestScenario; }

  // Drops everything collected so far.
  void Clear();
  // Marks the report as that of a run stopped by aSignal (e.g. "SIGINT"):
  // every <testsuite> gets the property "interrupted" with that value.
  void SetInterrupted(std::string aSignal) { FInterrupted = std::move(aSignal); }
  // Put before the names of the scenario runs that start from now on (e.g.
  // "run 2/"), so that repeated runs of one scenario stay apart.
  void SetRunLabel(std::string aLabel) { FRunLabel = std::move(aLabel); }

  int Tests() const;
  int Failures() const;
  int Errors() const;
  int Skipped() const;

  std::string GetXml() const;
  void Write(std::ostream& aStream) const;
  // Raises Exception("Unable to write to <path>: <reason>").
  void WriteFile(const std::string& aPath) const;

private:
  struct TMethodRecord {
    std::string Name;
    TUnitTestResult Result = tcrTodo;
    std::chrono::nanoseconds Start{0};
    std::chrono::nanoseconds Elapsed{0};
    std::vector<std::string> Failures;
    std::vector<std::string> Errors;
    std::vector<std::string> Output;
    std::vector<std::string> ErrorOutput;
  };
  struct TUnitTestRecord {
    std::string Name;
    // The live unit test while its scenario runs; nullptr once closed.
    const TUnitTestBase* Source = nullptr;
    bool Started = false;
    std::vector<TMethodRecord> Methods;
  };
  struct TScenarioRecord {
    std::string Name;
    std::vector<TUnitTestRecord> UnitTests;
  };

  // What the report takes of the run's messages.
  void ScenarioStart(const TProgressMessage& aMessage) override;
  void ScenarioFinish(const TProgressMessage& aMessage) override;
  void UnitTestStart(const TProgressMessage& aMessage) override;
  void UnitTestFinish(const TProgressMessage& aMessage) override;
  void PhaseStart(TRunPhase aPhase, const TProgressMessage& aMessage) override;
  void PhaseFinish(TRunPhase aPhase, const TProgressMessage& aMessage) override;
  void Report(const TReportMessage& aMessage) override;
  void Check(const TCheckMessage& aMessage) override;
  void Exception(const TExceptionMessage& aMessage) override;

  void StartScenario(const std::string& aName);
  void FinishScenario();
  void StartUnitTest(const std::string& aName);
  TMethodRecord* CurrentMethod();
  int Count(TUnitTestResult aResult) const;

  TSteadyClock FClock;
  TTestScenario* FTestScenario = nullptr;
  std::vector<TScenarioRecord> FScenarios;
  std::string FInterrupted;
  std::string FRunLabel;
  // Where the running scenario stands: indexes into its last record, or -1.
  bool FRunning = false;
  int FCurrentUnitTest = -1;
  int FCurrentMethod = -1;
};

} // namespace Kalvoro
