#include "ChosenMethods.h"

#include <algorithm>

namespace Kalvoro {

namespace {

int MethodIndex(const TUnitTestBase& aUnitTest, const TUnitTestMethod* aMethod) {
  const auto& Methods = aUnitTest.Methods();
  for (int I = 0; I < Methods.Count(); ++I)
    if (Methods.GetItem(I) == aMethod)
      return I;
  return -1;
}

bool Failed(TUnitTestResult aResult) {
  return aResult == tcrFailure || aResult == tcrException;
}

} // namespace

void TChosenMethods::Choose(TTestScenario* aScenario, TUnitTestBase* aUnitTest, int aMethodIndex) {
  if (aScenario == nullptr || aUnitTest == nullptr || aMethodIndex < 0)
    return;
  std::vector<bool>& Methods = FMethods[aUnitTest];
  Methods.resize(static_cast<std::size_t>(aUnitTest->Methods().Count()));
  if (static_cast<std::size_t>(aMethodIndex) >= Methods.size() || Methods[aMethodIndex])
    return;
  Methods[aMethodIndex] = true;
  ++FCount;
  if (std::find(FScenarios.begin(), FScenarios.end(), aScenario) == FScenarios.end())
    FScenarios.push_back(aScenario);
}

void TChosenMethods::ChooseAll(TTestScenario* aScenario, TUnitTestBase* aUnitTest) {
  for (int I = 0; I < aUnitTest->Methods().Count(); ++I)
    Choose(aScenario, aUnitTest, I);
}

TChosenMethods TChosenMethods::Selected(const std::vector<TResultRow>& aRows,
                                        const std::vector<int>& aSelected) {
  TChosenMethods Result;
  std::vector<bool> Selected(aRows.size());
  for (int Row : aSelected)
    if (Row >= 0 && static_cast<std::size_t>(Row) < aRows.size())
      Selected[static_cast<std::size_t>(Row)] = true;
  // The rows in tree order, so that the scenarios come in the run order.
  TTestScenario* Scenario = nullptr;
  TUnitTestBase* UnitTest = nullptr;
  bool ScenarioSelected = false;
  for (std::size_t I = 0; I < aRows.size(); ++I) {
    const TResultRow& Row = aRows[I];
    if (Row.Kind == rrkScenario) {
      Scenario = Row.Scenario;
      ScenarioSelected = Selected[I];
    } else if (Row.Kind == rrkUnitTest) {
      UnitTest = Row.UnitTest;
      if (Selected[I] || (ScenarioSelected && UnitTest->Enabled()))
        Result.ChooseAll(Scenario, UnitTest);
    } else if (Selected[I] && UnitTest != nullptr) {
      const int Method = MethodIndex(*UnitTest, Row.Method);
      Result.Choose(Scenario, UnitTest, Method);
      Result.FNamed.emplace(UnitTest, Method);
    }
  }
  return Result;
}

bool TChosenMethods::Named(const TUnitTestBase& aUnitTest, int aMethodIndex) const {
  return FNamed.count({&aUnitTest, aMethodIndex}) != 0;
}

TChosenMethods TChosenMethods::Failed(const std::vector<TResultRow>& aRows) {
  TChosenMethods Result;
  TTestScenario* Scenario = nullptr;
  TUnitTestBase* UnitTest = nullptr;
  for (const TResultRow& Row : aRows) {
    if (Row.Kind == rrkScenario)
      Scenario = Row.Scenario;
    else if (Row.Kind == rrkUnitTest)
      UnitTest = Row.UnitTest;
    else if (UnitTest != nullptr && Kalvoro::Failed(Row.Method->TestResult()))
      Result.Choose(Scenario, UnitTest, MethodIndex(*UnitTest, Row.Method));
  }
  return Result;
}

std::vector<TUnitTestBase*> TChosenMethods::DisabledUnitTests() const {
  std::vector<TUnitTestBase*> Result;
  for (const auto& [UnitTest, Methods] : FMethods)
    if (!UnitTest->Enabled())
      Result.push_back(const_cast<TUnitTestBase*>(UnitTest));
  return Result;
}

bool TChosenMethods::RunsUnitTest(const TUnitTestBase& aUnitTest) const {
  return FMethods.contains(&aUnitTest);
}

bool TChosenMethods::Runs(const TUnitTestBase& aUnitTest, int aMethodIndex) const {
  const auto Found = FMethods.find(&aUnitTest);
  return Found != FMethods.end() && aMethodIndex >= 0 &&
         static_cast<std::size_t>(aMethodIndex) < Found->second.size() &&
         Found->second[static_cast<std::size_t>(aMethodIndex)];
}

TChosenRunScope::TChosenRunScope(TChosenMethods& aPlan)
    : FPlan(aPlan), FEnabled(aPlan.DisabledUnitTests()) {
  for (TTestScenario* Scenario : FPlan.Scenarios())
    Scenario->SetRunPlan(&FPlan);
  for (TUnitTestBase* UnitTest : FEnabled)
    UnitTest->SetEnabled(true);
}

TChosenRunScope::~TChosenRunScope() {
  for (TUnitTestBase* UnitTest : FEnabled)
    UnitTest->SetEnabled(false);
  for (TTestScenario* Scenario : FPlan.Scenarios())
    Scenario->SetRunPlan(nullptr);
}

} // namespace Kalvoro
