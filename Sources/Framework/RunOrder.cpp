#include "RunOrder.h"

#include "UnitTestBase.h"

#include <numeric>
#include <vector>

namespace Kalvoro {

void TRunOrder::WalkUnitTests(const TTestScenario& aScenario, TRunPlan* aPlan) {
  std::vector<int> Order(static_cast<std::size_t>(aScenario.GetUnitTestCount()));
  std::iota(Order.begin(), Order.end(), 0);
  if (aPlan != nullptr)
    aPlan->OrderUnitTests(aScenario, Order);
  for (const int Index : Order) {
    if (Stopped())
      return;
    // A handler may have taken unit tests out meanwhile.
    if (Index >= aScenario.GetUnitTestCount())
      continue;
    TUnitTestBase* Each = aScenario.GetUnitTest(Index);
    if (Each->Enabled() && (aPlan == nullptr || aPlan->RunsUnitTest(*Each)))
      UnitTest(*Each);
  }
}

void TRunOrder::WalkMethods(TUnitTestBase& aUnitTest, TRunPlan* aPlan) {
  std::vector<int> Order(static_cast<std::size_t>(aUnitTest.Methods().Count()));
  std::iota(Order.begin(), Order.end(), 0);
  if (aPlan != nullptr)
    aPlan->OrderMethods(aUnitTest, Order);
  for (const int Index : Order) {
    if (Stopped())
      return;
    if (aPlan == nullptr || aPlan->Runs(aUnitTest, Index))
      Method(aUnitTest, Index);
  }
}

} // namespace Kalvoro
