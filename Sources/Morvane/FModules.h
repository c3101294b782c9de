// The modules view: the project's test modules with their load state, and
// under each loaded module its unit tests and their test methods. A thin view
// over TModulesPresenter: it builds its widgets from the presenter's commands
// and rows and tells it which module is current.
#pragma once

#include "CommandActions.h"
#include "FrameView.h"
#include "ModulesPresenter.h"

#include <QWidget>

#include <array>
#include <memory>
#include <vector>

class QMenu;
class QToolBar;

namespace Kalvoro {

class IDialogs;
class TFilterBar;
class TTreeView;

class TModulesFrame : public TFrameView, private IModulesView {
  Q_OBJECT

public:
  explicit TModulesFrame(IDialogs& aDialogs, QWidget* aOwner = nullptr);
  ~TModulesFrame() override;

  // IFrame
  void Activate(TProject* aProject) override;
  void Deactivate() override;
  void Refresh(TProject* aProject) override;

  // IModulesView: rebuilds the tree from the presenter's rows, keeping the
  // selection by position; the module of the current (selected) row, or null
  // when it is no module row.
  void RefreshTree() override;
  void FillTree(const std::vector<TModuleRow>& aRows);
  TModule* CurrentModule() const override;

  TProject* Project() const { return FPresenter.Project(); }
  const TModulesPresenter& Presenter() const { return FPresenter; }
  TTreeView* Tree() const { return FTree; }
  QMenu* PopupMenu() const { return FPopupMenu; }
  // Module, Path, Status and Kind.
  static constexpr int ColumnCount = 4;
  static constexpr int KindWidth = 120;
  const std::array<int, ColumnCount>& ColumnWidths() const { return FColumnWidths; }
  // The action of a command ("actAddModule"), or null.
  TAction* Action(const QString& aName) const { return FActions->Find(aName); }

private:
  TModulesPresenter FPresenter;
  std::vector<int> FSelection;
  std::array<int, ColumnCount> FColumnWidths{};
  TTreeView* FTree;
  TFilterBar* FFilter;
  QMenu* FPopupMenu;
  QMenu* FModulesMenu;
  std::unique_ptr<TCommandActions> FActions;
};

} // namespace Kalvoro
