// The rows of the scenarios view's two trees as data: every scenario with the
// unit tests assigned to it, and the available unit tests (those of the loaded
// modules that belong to no scenario).
#pragma once

#include "RowSelection.h"
#include "ScenarioImages.h"

#include <QString>

#include <string>
#include <vector>

namespace Kalvoro {

class TProject;
class TTestScenario;
class TUnitTestBase;

// A row of the scenario tree. Exactly one of Scenario and UnitTest is set.
struct TScenarioRow {
  TTestScenario* Scenario = nullptr;
  TUnitTestBase* UnitTest = nullptr;
  QString Text;
  QString Module; // column "Module": the unit test's module file name
  TScenarioTreeImage Image = stiScenario;
  bool Checked = false;

  bool IsScenario() const { return UnitTest == nullptr; }
  // 0 for a scenario, 1 for a unit test under it.
  int Level() const { return IsScenario() ? 0 : 1; }
};

// A row of the available list.
struct TAvailableRow {
  TUnitTestBase* UnitTest = nullptr;
  QString Text;
};

// The scenario tree in flat order: each scenario of the project, in list order,
// followed by its unit tests in the scenario's order.
std::vector<TScenarioRow> ScenarioRows(const TProject& aProject);
// The unassigned unit tests, module by module in the project's order and in
// each module's order.
std::vector<TAvailableRow> AvailableRows(const TProject& aProject);

// Where the rows of a scenario tree stand in flat order, found from where a
// node stands in the tree: its scenario's place and its own under it.
class TScenarioRowIndex {
public:
  TScenarioRowIndex() = default;
  explicit TScenarioRowIndex(const std::vector<TScenarioRow>& aRows);
  // The flat row of the aScenario-th scenario (aUnitTest -1) or of its
  // aUnitTest-th unit test; -1 for a scenario that is not there.
  int RowOf(int aScenario, int aUnitTest = -1) const;

private:
  std::vector<int> FScenarioStarts;
};

// A range of neighbouring flat rows, First to Last.
struct TRowRange {
  int First = 0;
  int Last = 0;
  bool operator==(const TRowRange&) const = default;
};

// The selected rows (ascending) as ranges of neighbours under one parent,
// which a tree selects at once; rows that are not there are left out.
std::vector<TRowRange> SelectedRanges(const std::vector<TScenarioRow>& aRows,
                                      const std::vector<int>& aSelected);

// A scenario name as the model keeps it: UTF-8, cut to at most 255 bytes at a
// character boundary, so that a long name never ends in half a character.
std::string ScenarioName(const QString& aText);

} // namespace Kalvoro
