// Test scenarios and the summary of their last run.
#include "UnitTestBase.h"

#include "CrashGuard.h"
#include "Interruption.h"
#include "RunOrder.h"
#include "ThreadMessages.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace Kalvoro {

// TSummary

void TSummary::Clear() {
  FTotalUnitTests = FUnitTestTodo = FUnitTestSuccess = FUnitTestFailure = FUnitTestException = 0;
  FTotalMethods = FMethodTodo = FMethodSuccess = FMethodFailure = FMethodException = 0;
  FDroppedMessages = 0;
  FEmpty = true;
}

void TSummary::Summarize(const TTestScenario* aScenario) {
  Clear();
  if (aScenario == nullptr)
    return;
  FEmpty = false;
  auto Count = [](TUnitTestResult aResult, int& aTodo, int& aSuccess, int& aFailure,
                  int& aException) {
    switch (aResult) {
    case tcrTodo:
      ++aTodo;
      break;
    case tcrSuccess:
      ++aSuccess;
      break;
    case tcrFailure:
      ++aFailure;
      break;
    case tcrException:
      ++aException;
      break;
    }
  };
  for (const TUnitTestBase* UnitTest : aScenario->UnitTestList()) {
    Count(UnitTest->TestResult(), FUnitTestTodo, FUnitTestSuccess, FUnitTestFailure,
          FUnitTestException);
    ++FTotalUnitTests;
    for (const TUnitTestMethod* Method : UnitTest->Methods()) {
      Count(Method->TestResult(), FMethodTodo, FMethodSuccess, FMethodFailure, FMethodException);
      ++FTotalMethods;
    }
  }
}

// TTestScenario

TTestScenario::TTestScenario(std::string_view aName) : FName(CutName(aName)) {}

TTestScenario::~TTestScenario() {
  // Owners empty a scenario first; should one forget, the unit tests must not
  // keep pointing at a destroyed scenario.
  while (FUnitTestList.Count() > 0) {
    TUnitTestBase* UnitTest = FUnitTestList.GetItem(0);
    UnitTest->SetEnabledWithoutUpdate(false);
    UnitTest->SetTestScenario(nullptr);
    FUnitTestList.Delete(0);
  }
}

void TTestScenario::SetEnabled(bool aValue) {
  for (TUnitTestBase* UnitTest : FUnitTestList)
    UnitTest->SetEnabledWithoutUpdate(aValue);
  FEnabled = aValue;
}

void TTestScenario::FireStateNotification(std::unique_ptr<TCustomMessage> aMessage) {
  FStateNotifications.FireAllEventHandlers(std::move(aMessage));
}

void TTestScenario::AddStateNotificationHandler(const TMessageEvent& aHandler) {
  FStateNotifications.AddEventHandler(aHandler);
}

void TTestScenario::RemoveStateNotificationHandler(const TMessageEvent& aHandler) {
  FStateNotifications.RemoveEventHandler(aHandler);
}

void TTestScenario::AddUnitTest(TUnitTestBase* aUnitTest) {
  if (aUnitTest == nullptr)
    return;
  aUnitTest->SetTestScenario(this);
  FUnitTestList.Add(aUnitTest);
  aUnitTest->SetEnabled(true);
}

void TTestScenario::RemoveUnitTest(TUnitTestBase* aUnitTest) {
  if (aUnitTest == nullptr)
    return;
  aUnitTest->SetEnabled(false);
  aUnitTest->SetTestScenario(nullptr);
  FUnitTestList.Remove(aUnitTest);
}

void TTestScenario::RemoveUnitTests(const std::vector<TUnitTestBase*>& aUnitTests) {
  const std::unordered_set<const TUnitTestBase*> Doomed(aUnitTests.begin(), aUnitTests.end());
  std::vector<TUnitTestBase*> Kept;
  std::vector<TUnitTestBase*> Removed;
  for (TUnitTestBase* UnitTest : FUnitTestList)
    (Doomed.count(UnitTest) != 0 ? Removed : Kept).push_back(UnitTest);
  if (Removed.empty())
    return;
  FUnitTestList.Clear();
  for (TUnitTestBase* UnitTest : Kept)
    FUnitTestList.Add(UnitTest);
  for (TUnitTestBase* UnitTest : Removed) {
    UnitTest->SetTestScenario(nullptr);
    UnitTest->SetEnabled(false);
  }
  UpdateEnabledState();
}

void TTestScenario::SwapUnitTests(
    const std::vector<std::pair<TUnitTestBase*, TUnitTestBase*>>& aSwaps) {
  auto Swap = [this](int aIndex, TUnitTestBase* aOld, TUnitTestBase* aNew) {
    FUnitTestList.SetItem(aIndex, aNew);
    aNew->SetTestScenario(this);
    aNew->SetEnabledWithoutUpdate(aOld->Enabled());
    aOld->SetTestScenario(nullptr);
    aOld->SetEnabledWithoutUpdate(false);
  };
  // The pairs come in the order of the module's unit tests, which is mostly
  // the scenario's: each is looked for where the one before was found, and
  // from the first that is not there on, the rest are looked up.
  std::size_t Next = 0; // pairs swapped
  bool InOrder = true;
  std::unordered_map<const TUnitTestBase*, TUnitTestBase*> Rest;
  for (int Index = 0; Index < FUnitTestList.Count() && Next < aSwaps.size(); ++Index) {
    TUnitTestBase* Old = FUnitTestList.GetItem(Index);
    if (InOrder && aSwaps[Next].first == Old) {
      Swap(Index, Old, aSwaps[Next++].second);
      continue;
    }
    if (InOrder) {
      InOrder = false;
      for (std::size_t Pair = Next; Pair < aSwaps.size(); ++Pair)
        Rest.emplace(aSwaps[Pair].first, aSwaps[Pair].second);
    }
    if (const auto Found = Rest.find(Old); Found != Rest.end()) {
      Swap(Index, Old, Found->second);
      Rest.erase(Found);
      ++Next;
    }
  }
  UpdateEnabledState();
}

void TTestScenario::RemoveAllUnitTests() {
  // Linear in the number of unit tests: the list is emptied at once and each
  // unit test leaves before it is disabled, so nothing rescans the list.
  const std::vector<TUnitTestBase*> UnitTests(FUnitTestList.begin(), FUnitTestList.end());
  FUnitTestList.Clear();
  for (TUnitTestBase* UnitTest : UnitTests) {
    UnitTest->SetTestScenario(nullptr);
    UnitTest->SetEnabled(false);
  }
  UpdateEnabledState();
}

int TTestScenario::UnitTestIndexOf(const TUnitTestBase* aUnitTest) const {
  return FUnitTestList.IndexOf(aUnitTest);
}

void TTestScenario::UpdateEnabledState() {
  FEnabled = std::any_of(FUnitTestList.begin(), FUnitTestList.end(),
                         [](const TUnitTestBase* aUnitTest) { return aUnitTest->Enabled(); });
}

void TTestScenario::SetTimeLimit(double aSeconds) {
  KALVORO_ASSERT(std::isfinite(aSeconds) && aSeconds >= 0);
  FTimeLimit = aSeconds;
}

void TTestScenario::ResetResults() {
  FSummary.Clear();
  for (TUnitTestBase* UnitTest : FUnitTestList)
    UnitTest->ResetResults();
}

void TTestScenario::Run() {
  // Keep the crash handlers installed for the whole run rather than per phase.
  TSignalScope Signals;
  const ThreadMessages::TRunScope Threads;
  if (FStateNotifications.Consumes(MessageIdProgress)) {
    TProgressMessage Start(ptScenarioStart, FName, {}, {});
    FStateNotifications.Deliver(Start);
  }
  ResetResults();
  // Each unit test that the run takes runs its methods (TUnitTestBase::Run),
  // until a stop or an interruption.
  class TScenarioRun : public TRunOrder {
  public:
    explicit TScenarioRun(const TMethodRunner* aRunner) : FRunner(aRunner) {}

  private:
    bool Stopped() const override {
      return FRunner != nullptr ? FRunner->StopRequested() : InterruptSignal() != 0;
    }
    void UnitTest(TUnitTestBase& aUnitTest) override { aUnitTest.Run(); }
    const TMethodRunner* FRunner;
  };
  TScenarioRun(FMethodRunner).WalkUnitTests(*this, FRunPlan);
  if (FStateNotifications.Consumes(MessageIdProgress)) {
    TProgressMessage Finish(ptScenarioFinish, FName, {}, {});
    FStateNotifications.Deliver(Finish);
  }
  FSummary.Summarize(this);
  FSummary.SetDroppedMessages(Threads.Dropped() +
                              (FMethodRunner != nullptr ? FMethodRunner->DroppedMessages() : 0));
}

} // namespace Kalvoro
