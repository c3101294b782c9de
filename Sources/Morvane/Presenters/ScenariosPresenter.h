// What the scenarios view shows and does, without any widget: the rows of its
// two trees, the scenario that adding unit tests goes to, its nine commands,
// the check boxes, drag and drop and double-click. The view shows the rows
// and tells which of them are selected (IScenariosView).
#pragma once

#include "Command.h"
#include "RowFilter.h"
#include "ScenarioRows.h"

#include <array>
#include <vector>

namespace Kalvoro {

class IDialogs;
class TProject;
class TTestScenario;

// The trees of the view, and any other source of a drag.
enum TScenariosTree { sctScenarios, sctAvailable, sctOther };

// What the presenter asks of the view.
class IScenariosView {
public:
  virtual ~IScenariosView() = default;

  // The flat indexes of the scenario tree's selected rows, in the tree's
  // selection order, and whether there are any.
  virtual std::vector<int> SelectedRows() const = 0;
  virtual bool AnyRowSelected() const = 0;
  // The flat index of the scenario tree's current row; -1 for none.
  virtual int CurrentRow() const = 0;
  // The indexes of the available list's selected rows, in selection order,
  // and whether there are any.
  virtual std::vector<int> SelectedAvailable() const = 0;
  virtual bool AnyAvailableSelected() const = 0;
  // Shows the presenter's AvailableRows, none of them selected.
  virtual void ShowAvailable() = 0;
  // Shows the presenter's Rows, fully expanded, with its Selection.
  virtual void ShowRows() = 0;
};

class TScenariosPresenter {
public:
  TScenariosPresenter(IDialogs& aDialogs, IScenariosView& aView);
  TScenariosPresenter(const TScenariosPresenter&) = delete;
  TScenariosPresenter& operator=(const TScenariosPresenter&) = delete;

  // Keeps the project and rebuilds both trees.
  void Activate(TProject* aProject);
  // Drops the project and the rows of both trees.
  void Deactivate();
  TProject* Project() const { return FProject; }

  const TCommandList& Commands() const { return FCommands; }
  const std::vector<TScenarioRow>& Rows() const { return FRows; }
  // Where the rows stand, found from where a node stands in the tree.
  const TScenarioRowIndex& RowIndex() const { return FRowIndex; }
  const std::vector<TAvailableRow>& AvailableRows() const { return FAvailable; }
  // The scenario tree's selection after its last rebuild.
  const TRowSelection& Selection() const { return FSelection; }

  // The filter box of a tree (sctScenarios or sctAvailable): its text and
  // the rows it hides, by flat index (empty: none). Add All, Remove All,
  // Enable and Disable act on the rows shown; a hidden row is never moved.
  void SetFilter(TScenariosTree aTree, const QString& aText);
  const QString& FilterText(TScenariosTree aTree) const;
  const std::vector<char>& HiddenRows(TScenariosTree aTree) const;
  bool Shown(TScenariosTree aTree, int aRow) const;

  // The scenario of the current row (a scenario row's own, a unit-test row's
  // unit test's); null without a current row.
  TTestScenario* TargetScenario() const;

  // Rebuilds the available list, then the scenario tree (keeping its
  // selection by position); nothing without a project.
  void RefreshAll();

  // Enables or disables the object of a scenario-tree row.
  void SetItemEnabled(int aRow, bool aValue);
  // The user toggled the row's check box to aChecked.
  void CheckToggled(int aRow, bool aChecked);

  // Whether a drag from aSource may be dropped over aTarget: only from one of
  // the view's trees to the other.
  static bool AcceptsDrag(TScenariosTree aTarget, TScenariosTree aSource);
  // Available unit tests dropped on the scenario tree's row aRow (-1: outside
  // every row): they go to that row's scenario.
  void DropOnScenarios(int aRow);
  // Scenario-tree rows dropped on the available list: Remove Selected.
  void DropOnAvailable();
  // A double-click on a tree runs its command (Add Selected for the available
  // list, Remove Selected for the scenario tree) when its rule allows.
  void DoubleClicked(TScenariosTree aTree);

private:
  void UpdateHidden(TScenariosTree aTree);
  // aRows without the rows hidden in aTree.
  std::vector<int> ShownOf(TScenariosTree aTree, std::vector<int> aRows) const;
  void RefreshUnitTests();
  void RefreshScenarios();
  const TScenarioRow* RowAt(int aRow) const;
  const TScenarioRow* CurrentScenarioRow() const;
  bool HasSelectedRows() const;
  bool HasSelectedAvailable() const;
  void AddAvailable(TTestScenario* aTarget, const std::vector<int>& aRows);

  void AddScenario();
  void RemoveScenario();
  void RenameScenario();
  void SetSelectedEnabled(bool aValue);
  void AddSelected();
  void AddAll();
  void RemoveSelected();
  void RemoveAll();

  IDialogs& FDialogs;
  IScenariosView& FView;
  TProject* FProject = nullptr;
  TCommandList FCommands;
  std::vector<TScenarioRow> FRows;
  TScenarioRowIndex FRowIndex;
  std::vector<TAvailableRow> FAvailable;
  TRowSelection FSelection;
  std::array<QString, 2> FFilterTexts;
  std::array<std::vector<char>, 2> FHidden;
};

} // namespace Kalvoro
