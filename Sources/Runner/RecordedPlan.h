// A scenario's run plan with its orders fixed in advance: the run hosts need
// every module's methods before the run asks for them, and the run must then
// take exactly that order (a shuffle is drawn once, here).
#pragma once

#include "UnitTestBase.h"

#include <map>
#include <utility>
#include <vector>

namespace Kalvoro {

class TRecordedPlan : public TRunPlan {
public:
  // aInner: the scenario's own plan, or nullptr (everything in list order).
  explicit TRecordedPlan(TRunPlan* aInner) : FInner(aInner) {}

  // Walks the run as TTestScenario::Run and TUnitTestBase::Run will (the
  // same walk, RunOrder.h), keeping the orders it takes, and returns the
  // methods in the order they will run.
  std::vector<std::pair<TUnitTestBase*, int>> Record(const TTestScenario& aScenario);

  bool RunsUnitTest(const TUnitTestBase& aUnitTest) const override;
  bool Runs(const TUnitTestBase& aUnitTest, int aMethodIndex) const override;
  void OrderUnitTests(const TTestScenario& aScenario, std::vector<int>& aOrder) override;
  void OrderMethods(const TUnitTestBase& aUnitTest, std::vector<int>& aOrder) override;

private:
  TRunPlan* FInner;
  std::vector<int> FUnitTests;
  std::map<const TUnitTestBase*, std::vector<int>> FMethods;
  // During Record: the orders are asked of the inner plan and kept.
  bool FRecording = false;
};

} // namespace Kalvoro
