#include "KeptResults.h"

#include "Project.h"

#include <algorithm>

namespace Kalvoro {

namespace {

std::string MethodKey(const TTestScenario& aScenario, const TUnitTestBase& aUnitTest,
                      const TUnitTestMethod& aMethod) {
  return aScenario.Name() + '\x1f' + aUnitTest.Name() + '\x1f' + aMethod.Name();
}

} // namespace

std::string TKeptResults::RowKey(const std::vector<TResultRow>& aRows, int aRow) {
  std::string Key;
  int Level = aRows[static_cast<std::size_t>(aRow)].Level() + 1;
  for (int I = aRow; I >= 0 && Level > 0; --I) {
    const TResultRow& Row = aRows[static_cast<std::size_t>(I)];
    if (Row.Level() == Level - 1) {
      Key.insert(0, Row.Text.toStdString() + '\x1f');
      --Level;
    }
  }
  return Key;
}

void TKeptResults::KeepSelection(const std::vector<TResultRow>& aRows,
                                 const std::vector<int>& aSelected) {
  FSelection.clear();
  for (const int Row : aSelected)
    if (Row >= 0 && static_cast<std::size_t>(Row) < aRows.size())
      FSelection.push_back(RowKey(aRows, Row));
}

std::vector<int> TKeptResults::SelectedAgain(const std::vector<TResultRow>& aRows) const {
  std::vector<int> Rows;
  for (int I = 0; I < static_cast<int>(aRows.size()); ++I)
    if (std::find(FSelection.begin(), FSelection.end(), RowKey(aRows, I)) != FSelection.end())
      Rows.push_back(I);
  return Rows;
}

void TKeptResults::Keep(const TProject& aProject) {
  FKept.clear();
  for (const TTestScenario* Scenario : aProject.Scenarios())
    for (const TUnitTestBase* UnitTest : Scenario->UnitTestList())
      for (const TUnitTestMethod* Method : UnitTest->Methods())
        // A method that did not run has nothing to keep.
        if (Method->TestResult() != tcrTodo)
          FKept[MethodKey(*Scenario, *UnitTest, *Method)] = {Method, Method->TestResult()};
}

std::map<const TUnitTestMethod*, const TUnitTestMethod*>
TKeptResults::Restore(const TProject& aProject) {
  std::map<const TUnitTestMethod*, const TUnitTestMethod*> Moves;
  for (const TTestScenario* Scenario : aProject.Scenarios())
    for (const TUnitTestBase* UnitTest : Scenario->UnitTestList())
      for (TUnitTestMethod* Method : UnitTest->Methods()) {
        const auto Kept = FKept.find(MethodKey(*Scenario, *UnitTest, *Method));
        if (Kept == FKept.end())
          continue;
        Moves[Kept->second.Method] = Method;
        if (Method->TestResult() == tcrTodo)
          Method->SetTestResult(Kept->second.Result);
      }
  FKept.clear();
  return Moves;
}

} // namespace Kalvoro
