#include "RecordedPlan.h"

#include <numeric>

namespace Kalvoro {

std::vector<std::pair<TUnitTestBase*, int>> TRecordedPlan::Record(const TTestScenario& aScenario) {
  std::vector<std::pair<TUnitTestBase*, int>> Methods;
  FUnitTests.resize(static_cast<std::size_t>(aScenario.GetUnitTestCount()));
  std::iota(FUnitTests.begin(), FUnitTests.end(), 0);
  if (FInner != nullptr)
    FInner->OrderUnitTests(aScenario, FUnitTests);
  for (const int Index : FUnitTests) {
    if (Index >= aScenario.GetUnitTestCount())
      continue;
    TUnitTestBase* UnitTest = aScenario.GetUnitTest(Index);
    if (!UnitTest->Enabled() || !RunsUnitTest(*UnitTest))
      continue;
    std::vector<int>& Order = FMethods[UnitTest];
    Order.resize(static_cast<std::size_t>(UnitTest->Methods().Count()));
    std::iota(Order.begin(), Order.end(), 0);
    if (FInner != nullptr)
      FInner->OrderMethods(*UnitTest, Order);
    for (const int Method : Order)
      if (Runs(*UnitTest, Method))
        Methods.emplace_back(UnitTest, Method);
  }
  return Methods;
}

bool TRecordedPlan::RunsUnitTest(const TUnitTestBase& aUnitTest) const {
  return FInner == nullptr || FInner->RunsUnitTest(aUnitTest);
}

bool TRecordedPlan::Runs(const TUnitTestBase& aUnitTest, int aMethodIndex) const {
  return FInner == nullptr || FInner->Runs(aUnitTest, aMethodIndex);
}

void TRecordedPlan::OrderUnitTests(const TTestScenario& /*aScenario*/, std::vector<int>& aOrder) {
  if (aOrder.size() == FUnitTests.size())
    aOrder = FUnitTests;
}

void TRecordedPlan::OrderMethods(const TUnitTestBase& aUnitTest, std::vector<int>& aOrder) {
  const auto Found = FMethods.find(&aUnitTest);
  if (Found != FMethods.end() && Found->second.size() == aOrder.size())
    aOrder = Found->second;
}

} // namespace Kalvoro
