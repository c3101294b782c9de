#include "FModules.h"

#include "FilterBar.h"

#include "Images.h"
#include "Project.h"
#include "TreeHelper.h"
#include "TreeView.h"

#include <QHeaderView>
#include <QLayout>
#include <QMenu>
#include <QToolBar>
#include <QVBoxLayout>

#include <cmath>

namespace Kalvoro {

namespace {

// The size the view is designed at; the remembered column widths start from it.
constexpr int DesignWidth = 790;
constexpr int DesignHeight = 480;

TRowObject ObjectOf(const TModuleRow& aRow) {
  if (aRow.Module != nullptr)
    return aRow.Module;
  if (aRow.UnitTest != nullptr)
    return aRow.UnitTest;
  return {};
}

} // namespace

TModulesFrame::TModulesFrame(IDialogs& aDialogs, QWidget* aOwner)
    : TFrameView(QStringLiteral("Modules"), niModules, aOwner), FPresenter(aDialogs, *this) {
  setObjectName(QStringLiteral("ModulesFrame"));
  resize(DesignWidth, DesignHeight);
  ToolBar()->setObjectName(QStringLiteral("ModulesToolBar"));
  FPopupMenu = new QMenu(this);
  FModulesMenu = new QMenu(QStringLiteral("&Modules"), this);
  AddMenu(FModulesMenu, 1);

  FTree = new TTreeView(this);
  FTree->setObjectName(QStringLiteral("Tree"));
  FTree->setAccessibleName(QStringLiteral("Modules"));
  FTree->SetColumns({QStringLiteral("Module"), QStringLiteral("Path"), QStringLiteral("Status"),
                     QStringLiteral("Kind")});
  FTree->SetImages(ModuleTreeImages());
  FTree->SetMultiSelect(false);
  FTree->SetShowLines(true);
  FTree->SetPopupMenu(FPopupMenu);
  FTree->header()->setStretchLastSection(true);

  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->setSpacing(0);
  FFilter = new TFilterBar(QStringLiteral("Filter modules"), this);
  FFilter->setObjectName(QStringLiteral("ModulesFilter"));
  FFilter->AttachShortcut(FTree);
  connect(FFilter, &TFilterBar::Changed, this, [this] {
    FPresenter.SetFilter(FFilter->Text());
    FTree->SetHiddenRows(FPresenter.HiddenRows(FPresenter.Rows()));
  });
  Layout->addWidget(ToolBar());
  Layout->addWidget(FFilter);
  Layout->addWidget(FTree, 1);

  // Remembered widths start from the design width.
  const double Free = width() - 150 - KindWidth;
  FColumnWidths = {static_cast<int>(std::lround(Free / 3)),
                   static_cast<int>(std::lround(Free * 2 / 3)), 100, KindWidth};
  for (int Column = 0; Column < ColumnCount; ++Column)
    FTree->SetColumnWidth(Column, FColumnWidths[static_cast<std::size_t>(Column)]);

  FActions =
      std::make_unique<TCommandActions>(FPresenter.Commands(), ModuleActionImages(), this,
                                        TCommandWidgets{ToolBar(), FModulesMenu, FPopupMenu});
}

TModulesFrame::~TModulesFrame() = default;

void TModulesFrame::Activate(TProject* aProject) {
  FPresenter.SetProject(aProject);
  // Work with the width the view has in its panel now.
  if (parentWidget() != nullptr && parentWidget()->layout() != nullptr)
    parentWidget()->layout()->activate();
  FTree->SetColumnWidth(0, FColumnWidths[0]);
  FTree->SetColumnWidth(1, FColumnWidths[1]);
  // Status takes what the others leave; Kind, the last, grows with the view.
  FTree->SetColumnWidth(3, FColumnWidths[3]);
  FTree->SetColumnWidth(2, width() - FColumnWidths[0] - FColumnWidths[1] - FColumnWidths[3] - 4);
  RefreshTree();
}

void TModulesFrame::Deactivate() {
  for (int Column = 0; Column < ColumnCount; ++Column)
    FColumnWidths[static_cast<std::size_t>(Column)] = FTree->ColumnWidth(Column);
  FPresenter.SetProject(nullptr);
  FTree->DropFilter();
  FTree->Clear();
}

void TModulesFrame::Refresh(TProject* aProject) {
  // The same project: its rows replace the tree's in one reset, instead of
  // emptying the tree first.
  if (aProject == nullptr || aProject != FPresenter.Project()) {
    IFrame::Refresh(aProject);
    return;
  }
  RefreshTree();
}

TModule* TModulesFrame::CurrentModule() const {
  const std::vector<TTreeNode*> Selected = FTree->SelectedNodes();
  return Selected.empty() ? nullptr : Selected.front()->As<TModule>();
}

void TModulesFrame::RefreshTree() {
  if (FPresenter.Project() == nullptr)
    return;
  const std::vector<TModuleRow> Rows = FPresenter.Rows();
  {
    TTreeUpdateScope Update(*FTree);
    FillTree(Rows);
  }
  FTree->SetHiddenRows(FPresenter.HiddenRows(Rows));
}

void TModulesFrame::FillTree(const std::vector<TModuleRow>& aRows) {
  SaveSelection(*FTree, FSelection);
  FTree->Clear();
  AddRowNodes(aRows, [this](TTreeNode* aParent, const TModuleRow& aRow) {
    TTreeNode* Node = FTree->AddChild(aParent, aRow.Name, ObjectOf(aRow));
    if (aRow.Kind == mrkModule) {
      FTree->SetText(Node, 1, aRow.Path);
      FTree->SetText(Node, 2, aRow.Status);
      FTree->SetText(Node, 3, aRow.KindText);
      if (!aRow.Error.isEmpty())
        FTree->SetDescription(Node, aRow.Error);
    }
    FTree->SetImageIndex(Node, aRow.Image);
    return Node;
  });
  RestoreSelection(*FTree, FSelection);
}

} // namespace Kalvoro
