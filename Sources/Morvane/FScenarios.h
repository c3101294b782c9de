// The scenarios view: the project's scenarios with the unit tests assigned to
// each, and beside them the unit tests that belong to no scenario. A thin view
// over TScenariosPresenter: it builds its widgets from the presenter's
// commands and rows, tells it which rows are selected and forwards check-box
// toggles, drops and double-clicks to it.
#pragma once

#include "CommandActions.h"
#include "FrameView.h"
#include "ScenariosPresenter.h"

#include <QWidget>

#include <memory>
#include <vector>

class QMenu;
class QSplitter;
class QToolBar;
class QToolButton;

namespace Kalvoro {

class IDialogs;
class TFilterBar;
class TTreeNode;
class TTreeView;

class TScenariosFrame : public TFrameView, private IScenariosView {
  Q_OBJECT

public:
  explicit TScenariosFrame(IDialogs& aDialogs, QWidget* aOwner = nullptr);
  ~TScenariosFrame() override;

  // IFrame
  void Activate(TProject* aProject) override;
  void Deactivate() override;

  TScenariosPresenter& Presenter() { return FPresenter; }
  TProject* Project() const { return FPresenter.Project(); }
  // The scenario tree ("Tree") and the available list ("UnitTestsTree").
  TTreeView* Tree() const { return FTree; }
  TTreeView* UnitTestsTree() const { return FUnitTestsTree; }
  TFilterBar* Filter(TScenariosTree aTree) const {
    return aTree == sctAvailable ? FAvailableFilter : FScenariosFilter;
  }
  QMenu* PopupMenu() const { return FPopupMenu; }
  // The action of a command ("actEnable"), or null.
  TAction* Action(const QString& aName) const { return FActions->Find(aName); }

private:
  // IScenariosView
  std::vector<int> SelectedRows() const override;
  bool AnyRowSelected() const override;
  int CurrentRow() const override;
  std::vector<int> SelectedAvailable() const override;
  bool AnyAvailableSelected() const override;
  void ShowAvailable() override;
  void ShowRows() override;

  QWidget* MakeStrip();
  void ConnectTrees();
  // The flat index of a row of the scenario tree, from the row positions of
  // the last rebuild; -1 for none.
  int FlatIndex(const TTreeNode* aNode) const;
  void ApplySelection(const TRowSelection& aSelection);
  void CheckToggled(TTreeNode* aNode);

  TScenariosPresenter FPresenter;
  QMenu* FPopupMenu;
  QMenu* FScenariosMenu;
  TTreeView* FTree;
  TTreeView* FUnitTestsTree;
  TFilterBar* FScenariosFilter;
  TFilterBar* FAvailableFilter;
  QSplitter* FSplitter;
  std::unique_ptr<TCommandActions> FActions;
  // The rows of the scenario tree in flat order, and the flat index of each
  // scenario row.
  std::vector<TTreeNode*> FNodes;
  bool FRefreshPending = false;
};

} // namespace Kalvoro
