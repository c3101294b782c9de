#include "RecordedPlan.h"

#include "RunOrder.h"

namespace Kalvoro {

std::vector<std::pair<TUnitTestBase*, int>> TRecordedPlan::Record(const TTestScenario& aScenario) {
  // The run's own walk with this plan, which keeps each order that its inner
  // plan gives while it records, and names each method the run will take.
  class TRecording : public TRunOrder {
  public:
    explicit TRecording(TRecordedPlan& aPlan) : FPlan(aPlan) {}
    std::vector<std::pair<TUnitTestBase*, int>> Methods;

  private:
    void UnitTest(TUnitTestBase& aUnitTest) override { WalkMethods(aUnitTest, &FPlan); }
    void Method(TUnitTestBase& aUnitTest, int aIndex) override {
      Methods.emplace_back(&aUnitTest, aIndex);
    }
    TRecordedPlan& FPlan;
  };
  TRecording Recording(*this);
  FUnitTests.clear();
  FMethods.clear();
  FRecording = true;
  try {
    Recording.WalkUnitTests(aScenario, this);
  } catch (...) {
    FRecording = false;
    throw;
  }
  FRecording = false;
  return std::move(Recording.Methods);
}

bool TRecordedPlan::RunsUnitTest(const TUnitTestBase& aUnitTest) const {
  return FInner == nullptr || FInner->RunsUnitTest(aUnitTest);
}

bool TRecordedPlan::Runs(const TUnitTestBase& aUnitTest, int aMethodIndex) const {
  return FInner == nullptr || FInner->Runs(aUnitTest, aMethodIndex);
}

void TRecordedPlan::OrderUnitTests(const TTestScenario& aScenario, std::vector<int>& aOrder) {
  if (FRecording) {
    if (FInner != nullptr)
      FInner->OrderUnitTests(aScenario, aOrder);
    FUnitTests = aOrder;
  } else if (aOrder.size() == FUnitTests.size()) {
    aOrder = FUnitTests;
  }
}

void TRecordedPlan::OrderMethods(const TUnitTestBase& aUnitTest, std::vector<int>& aOrder) {
  if (FRecording) {
    if (FInner != nullptr)
      FInner->OrderMethods(aUnitTest, aOrder);
    FMethods[&aUnitTest] = aOrder;
    return;
  }
  const auto Found = FMethods.find(&aUnitTest);
  if (Found != FMethods.end() && Found->second.size() == aOrder.size())
    aOrder = Found->second;
}

} // namespace Kalvoro
