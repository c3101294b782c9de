// What a reload of rebuilt modules keeps of the last run: each method's
// result by the names of its scenario, unit test and method (the reload
// replaces the objects), given back to the methods of the same names once
// the modules are listed again. Rows are named the same way, so that a run
// of chosen rows can be chosen again after a reload.
#pragma once

#include "ResultRows.h"
#include "UnitTestBase.h"

#include <map>
#include <string>
#include <vector>

namespace Kalvoro {

class TProject;

class TKeptResults {
public:
  // Notes the result of every method of aProject that ran.
  void Keep(const TProject& aProject);
  bool Empty() const { return FKept.empty(); }
  // Gives the kept results to aProject's methods of the same names that
  // have none, forgets them, and returns which new method each old one is.
  std::map<const TUnitTestMethod*, const TUnitTestMethod*> Restore(const TProject& aProject);

  // Notes the selected rows (indexes into aRows) by their names; the rows
  // of aRows with those names again.
  void KeepSelection(const std::vector<TResultRow>& aRows, const std::vector<int>& aSelected);
  std::vector<int> SelectedAgain(const std::vector<TResultRow>& aRows) const;

private:
  // A row by the names of its scenario, unit test and method, as far as it
  // has them.
  static std::string RowKey(const std::vector<TResultRow>& aRows, int aRow);

  struct TKept {
    const TUnitTestMethod* Method;
    TUnitTestResult Result;
  };
  std::map<std::string, TKept> FKept;
  std::vector<std::string> FSelection;
};

} // namespace Kalvoro
