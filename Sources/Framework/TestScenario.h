// A test scenario: a named group of unit tests that runs as one, with its
// summary (implemented in TestScenario.cpp).
#pragma once

#include "NotificationMessages.h"
#include "RunPlan.h"
#include "Summary.h"
#include "UnitTestCore.h"

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Kalvoro {

// A named group of unit tests that runs as one. It refers to its unit tests
// without owning them.
class KALVORO_API TTestScenario {
public:
  explicit TTestScenario(std::string_view aName);
  // Detaches the unit tests that it still holds.
  ~TTestScenario();
  TTestScenario(const TTestScenario&) = delete;
  TTestScenario& operator=(const TTestScenario&) = delete;

  const std::string& Name() const { return FName; }
  void SetName(std::string_view aName) { FName = CutName(aName); }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool aValue);

  void FireStateNotification(std::unique_ptr<TCustomMessage> aMessage);
  void AddStateNotificationHandler(const TMessageEvent& aHandler);
  void RemoveStateNotificationHandler(const TMessageEvent& aHandler);
  TMessageEventList& StateNotifications() { return FStateNotifications; }
  const TMessageEventList& StateNotifications() const { return FStateNotifications; }

  void AddUnitTest(TUnitTestBase* aUnitTest);
  void RemoveUnitTest(TUnitTestBase* aUnitTest);
  // Removes each of these unit tests that the scenario holds, as
  // RemoveUnitTest does, in one pass over the list.
  void RemoveUnitTests(const std::vector<TUnitTestBase*>& aUnitTests);
  void RemoveAllUnitTests();
  // Puts the second unit test of each pair in the place of the first, which
  // the scenario holds, with the first's enabled state; the first leaves
  // the scenario. One pass over the list (a relisted module's descriptions).
  void SwapUnitTests(const std::vector<std::pair<TUnitTestBase*, TUnitTestBase*>>& aSwaps);
  int UnitTestIndexOf(const TUnitTestBase* aUnitTest) const;
  TUnitTestBase* GetUnitTest(int aIndex) const { return FUnitTestList.GetItem(aIndex); }
  int GetUnitTestCount() const { return FUnitTestList.Count(); }
  const TUnitTestList& UnitTestList() const { return FUnitTestList; }

  const TSummary& GetSummary() const { return FSummary; }
  // The longest that each guarded phase (Init, a method, Exit) may run, in
  // seconds; a phase that runs longer is ended as an exception of its phase.
  // 0, the default, sets no limit.
  double TimeLimit() const { return FTimeLimit; }
  void SetTimeLimit(double aSeconds);
  // The plan of the next runs, not owned; nullptr runs everything in order.
  TRunPlan* RunPlan() const { return FRunPlan; }
  void SetRunPlan(TRunPlan* aPlan) { FRunPlan = aPlan; }
  // Where the next runs' methods run, not owned; nullptr: in this thread.
  TMethodRunner* MethodRunner() const { return FMethodRunner; }
  void SetMethodRunner(TMethodRunner* aRunner) { FMethodRunner = aRunner; }
  void UpdateEnabledState();
  void ResetResults();
  void Run();

private:
  std::string FName;
  bool FEnabled = true;
  TUnitTestList FUnitTestList{false};
  TMessageEventList FStateNotifications;
  TSummary FSummary;
  double FTimeLimit = 0;
  TRunPlan* FRunPlan = nullptr;
  TMethodRunner* FMethodRunner = nullptr;
};

} // namespace Kalvoro
