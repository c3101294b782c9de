// The rows of the scenarios view's two trees as data: every scenario with the
// unit tests assigned to it, and the available unit tests (those of the loaded
// modules that belong to no scenario); and the selection that a rebuilt tree
// takes over from the old one by row position.
#pragma once

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

// Which rows of a tree are selected and which one is current (-1: none), by
// flat index.
struct TRowSelection {
  int Current = -1;
  std::vector<int> Rows;
};

// The selection that a tree of aCount rows takes over from the recorded flat
// indexes of the old one: nothing when it is empty; else the first row when
// nothing was recorded; else the row at each recorded index, the last row for
// an index past the end, and the first of them current.
TRowSelection RestoredSelection(const std::vector<int>& aRecorded, int aCount);

// A scenario name as the model keeps it: UTF-8, cut to at most 255 bytes at a
// character boundary, so that a long name never ends in half a character.
std::string ScenarioName(const QString& aText);

} // namespace Kalvoro
