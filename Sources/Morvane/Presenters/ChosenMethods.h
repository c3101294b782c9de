// The methods that Run Selected and Run Failed take: a run plan over chosen
// methods of the results tree's rows, in the run order, with the scenarios
// they belong to. Set on each of those scenarios for one run.
#pragma once

#include "ResultRows.h"
#include "TestKind.h"
#include "UnitTestBase.h"

#include <map>
#include <set>
#include <vector>

namespace Kalvoro {

// A method picked by its own row counts as chosen by name (TestKind.h).
class TChosenMethods : public TRunPlan, public INamedMethods {
public:
  // The methods of the selected rows (flat indexes into aRows): a scenario
  // row takes its enabled unit tests, a unit-test row all of its methods, a
  // method row itself. A disabled unit test runs only when its own row or
  // one of its methods' rows is selected.
  static TChosenMethods Selected(const std::vector<TResultRow>& aRows,
                                 const std::vector<int>& aSelected);
  // The methods whose last result is FAILURE or EXCEPTION.
  static TChosenMethods Failed(const std::vector<TResultRow>& aRows);

  int Count() const { return FCount; }
  bool Empty() const { return FCount == 0; }
  // The scenarios with chosen methods, in the rows' order.
  const std::vector<TTestScenario*>& Scenarios() const { return FScenarios; }
  // The chosen unit tests that are disabled: they are enabled for the run.
  std::vector<TUnitTestBase*> DisabledUnitTests() const;

  bool RunsUnitTest(const TUnitTestBase& aUnitTest) const override;
  bool Runs(const TUnitTestBase& aUnitTest, int aMethodIndex) const override;
  // The run keeps the list order.
  void OrderUnitTests(const TTestScenario& /*aScenario*/, std::vector<int>& /*aOrder*/) override {}
  void OrderMethods(const TUnitTestBase& /*aUnitTest*/, std::vector<int>& /*aOrder*/) override {}
  bool Named(const TUnitTestBase& aUnitTest, int aMethodIndex) const override;

private:
  void Choose(TTestScenario* aScenario, TUnitTestBase* aUnitTest, int aMethodIndex);
  void ChooseAll(TTestScenario* aScenario, TUnitTestBase* aUnitTest);

  std::map<const TUnitTestBase*, std::vector<bool>> FMethods;
  std::set<std::pair<const TUnitTestBase*, int>> FNamed;
  std::vector<TTestScenario*> FScenarios;
  int FCount = 0;
};

// Sets aPlan on each of its scenarios and enables its disabled unit tests for
// its life; puts both back however the run ends.
class TChosenRunScope {
public:
  explicit TChosenRunScope(TChosenMethods& aPlan);
  ~TChosenRunScope();
  TChosenRunScope(const TChosenRunScope&) = delete;
  TChosenRunScope& operator=(const TChosenRunScope&) = delete;

private:
  TChosenMethods& FPlan;
  std::vector<TUnitTestBase*> FEnabled;
};

} // namespace Kalvoro
