#include "FScenarios.h"

#include "FilterBar.h"

#include "Images.h"
#include "ScenarioImages.h"
#include "TreeHelper.h"
#include "TreeView.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLayout>
#include <QMenu>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <QItemSelectionModel>

#include <algorithm>
#include <functional>

namespace Kalvoro {

namespace {

constexpr int DesignWidth = 790;
constexpr int DesignHeight = 480;
// The available list's width at every activation.
constexpr int AvailableWidth = 200;

// The strip's buttons from top to bottom, with their images.
const struct {
  const char* Command;
  TScenarioStripImage Image;
} StripButtons[] = {
    {"actAddSelected", ssiAddSelected},
    {"actAddAll", ssiAddAll},
    {"actRemoveAll", ssiRemoveAll},
    {"actRemoveSelected", ssiRemoveSelected},
};

// The selected rows in tree order, once each, as aRowOf numbers them from a
// row's parent and position. Reads the selection's ranges, not its rows: with
// many ranges, asking row by row whether each is selected grows with the
// square of the selection.
std::vector<int> SelectedRowNumbers(const QItemSelectionModel& aSelection,
                                    const std::function<int(const QModelIndex&, int)>& aRowOf) {
  std::vector<int> Rows;
  for (const QItemSelectionRange& Range : aSelection.selection()) {
    const QModelIndex Parent = Range.parent();
    for (int Row = Range.top(); Row <= Range.bottom(); ++Row) {
      const int Number = aRowOf(Parent, Row);
      if (Number >= 0)
        Rows.push_back(Number);
    }
  }
  std::sort(Rows.begin(), Rows.end());
  Rows.erase(std::unique(Rows.begin(), Rows.end()), Rows.end());
  return Rows;
}

} // namespace

TScenariosFrame::TScenariosFrame(IDialogs& aDialogs, QWidget* aOwner)
    : TFrameView(QStringLiteral("Scenario's"), niScenarios, aOwner), FPresenter(aDialogs, *this) {
  setObjectName(QStringLiteral("ScenariosFrame"));
  resize(DesignWidth, DesignHeight);
  ToolBar()->setObjectName(QStringLiteral("ScenariosToolBar"));
  FPopupMenu = new QMenu(this);
  FPopupMenu->setAccessibleName(QStringLiteral("Scenario's"));
  FScenariosMenu = new QMenu(QStringLiteral("&Scenario's"), this);
  FScenariosMenu->setAccessibleName(QStringLiteral("Scenario's"));
  AddMenu(FScenariosMenu, 1);

  FTree = new TTreeView;
  FTree->setObjectName(QStringLiteral("Tree"));
  FTree->setAccessibleName(QStringLiteral("Scenarios"));
  FTree->SetColumns({QStringLiteral("Scenario"), QStringLiteral("Module")});
  FTree->header()->setAccessibleName(QStringLiteral("Scenario and Module"));
  FTree->SetImages(ScenarioTreeImages());
  FTree->SetMultiSelect(true);
  FTree->SetShowLines(true);
  // Scenario rows show no expand button and stay expanded.
  FTree->setRootIsDecorated(false);
  FTree->setItemsExpandable(false);
  FTree->setExpandsOnDoubleClick(false);
  FTree->SetRowDragEnabled(true);
  FTree->SetPopupMenu(FPopupMenu);

  FUnitTestsTree = new TTreeView;
  FUnitTestsTree->setObjectName(QStringLiteral("UnitTestsTree"));
  FUnitTestsTree->setAccessibleName(QStringLiteral("Available UnitTests"));
  FUnitTestsTree->SetColumns({QStringLiteral("Available UnitTests")});
  FUnitTestsTree->header()->setAccessibleName(QStringLiteral("Available UnitTests"));
  FUnitTestsTree->SetImages(ScenarioTreeImages());
  FUnitTestsTree->SetMultiSelect(true);
  FUnitTestsTree->setRootIsDecorated(false);
  FUnitTestsTree->SetRowDragEnabled(true);

  FActions =
      std::make_unique<TCommandActions>(FPresenter.Commands(), ScenarioActionImages(), this,
                                        TCommandWidgets{ToolBar(), FScenariosMenu, FPopupMenu});

  // Scenario tree and strip on the left of the splitter, the list on its right.
  auto* Left = new QWidget;
  auto* LeftLayout = new QHBoxLayout(Left);
  LeftLayout->setContentsMargins(0, 0, 0, 0);
  LeftLayout->setSpacing(0);
  // Each tree has its filter box above it.
  const auto WithFilter = [this](TTreeView* aTree, TFilterBar*& aFilter, const QString& aName,
                                 TScenariosTree aKind) {
    aFilter = new TFilterBar(aName);
    aFilter->setObjectName(aKind == sctScenarios ? QStringLiteral("ScenariosFilter")
                                                 : QStringLiteral("AvailableFilter"));
    aFilter->AttachShortcut(aTree);
    connect(aFilter, &TFilterBar::Changed, this, [this, aTree, aFilter, aKind] {
      FPresenter.SetFilter(aKind, aFilter->Text());
      aTree->SetHiddenRows(FPresenter.HiddenRows(aKind));
    });
    auto* Panel = new QWidget;
    auto* PanelLayout = new QVBoxLayout(Panel);
    PanelLayout->setContentsMargins(0, 0, 0, 0);
    PanelLayout->setSpacing(0);
    PanelLayout->addWidget(aFilter);
    PanelLayout->addWidget(aTree, 1);
    return Panel;
  };
  QWidget* ScenariosPanel =
      WithFilter(FTree, FScenariosFilter, QStringLiteral("Filter scenarios"), sctScenarios);
  QWidget* AvailablePanel = WithFilter(FUnitTestsTree, FAvailableFilter,
                                       QStringLiteral("Filter available UnitTests"), sctAvailable);
  LeftLayout->addWidget(ScenariosPanel, 1);
  LeftLayout->addWidget(MakeStrip());
  FSplitter = new QSplitter(Qt::Horizontal);
  FSplitter->setObjectName(QStringLiteral("Splitter"));
  FSplitter->setAccessibleName(QStringLiteral("Splitter"));
  FSplitter->setChildrenCollapsible(false);
  FSplitter->addWidget(Left);
  FSplitter->addWidget(AvailablePanel);
  FSplitter->setStretchFactor(0, 1);
  FSplitter->setStretchFactor(1, 0);

  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->setSpacing(0);
  Layout->addWidget(ToolBar());
  Layout->addWidget(FSplitter, 1);
  ConnectTrees();
}

TScenariosFrame::~TScenariosFrame() = default;

QWidget* TScenariosFrame::MakeStrip() {
  auto* Strip = new QWidget;
  Strip->setObjectName(QStringLiteral("Strip"));
  Strip->setAccessibleName(QStringLiteral("Add and remove unit tests"));
  auto* Layout = new QVBoxLayout(Strip);
  Layout->setContentsMargins(2, 2, 2, 2);
  Layout->setSpacing(2);
  const QList<QIcon> Images = ScenarioStripImages();
  for (const auto& Button : StripButtons) {
    const QString Name = QString::fromLatin1(Button.Command);
    const QString Hint = FindCommand(FPresenter.Commands(), Name).Hint;
    auto* Link = new TActionLink(FActions->Find(Name), TActionLink::lkButton, Hint, this);
    Link->SetOwnIcon(Images.value(Button.Image));
    auto* Tool = new QToolButton;
    Tool->setObjectName(QStringLiteral("btn") + Name.mid(3));
    Tool->setDefaultAction(Link);
    Tool->setAutoRaise(true);
    Tool->setFixedSize(23, 23);
    Tool->setIconSize(QSize(16, 16));
    Tool->setAccessibleName(ShortHint(Hint).trimmed());
    Layout->addWidget(Tool);
  }
  Layout->addStretch(1);
  return Strip;
}

void TScenariosFrame::ConnectTrees() {
  const auto Kind = [this](TTreeView* aTree) {
    return aTree == FTree ? sctScenarios : aTree == FUnitTestsTree ? sctAvailable : sctOther;
  };
  FTree->SetDropAcceptor([Kind](TTreeView* aSource) {
    return TScenariosPresenter::AcceptsDrag(sctScenarios, Kind(aSource));
  });
  FUnitTestsTree->SetDropAcceptor([Kind](TTreeView* aSource) {
    return TScenariosPresenter::AcceptsDrag(sctAvailable, Kind(aSource));
  });
  connect(FTree, &TTreeView::DragDropped, this, [this](TTreeView*, TTreeNode* aTarget) {
    FPresenter.DropOnScenarios(FlatIndex(aTarget));
  });
  connect(FUnitTestsTree, &TTreeView::DragDropped, this,
          [this](TTreeView*, TTreeNode*) { FPresenter.DropOnAvailable(); });
  connect(FTree, &TTreeView::NodeDoubleClicked, this,
          [this](TTreeNode*) { FPresenter.DoubleClicked(sctScenarios); });
  connect(FUnitTestsTree, &TTreeView::NodeDoubleClicked, this,
          [this](TTreeNode*) { FPresenter.DoubleClicked(sctAvailable); });
  connect(FTree, &TTreeView::CheckToggled, this, &TScenariosFrame::CheckToggled);
  connect(FTree, &TTreeView::Resized, this, [this] {
    FTree->SetColumnWidth(0, FTree->width() - 134);
    FTree->SetColumnWidth(1, 130);
  });
  connect(FUnitTestsTree, &TTreeView::Resized, this,
          [this] { FUnitTestsTree->SetColumnWidth(0, FUnitTestsTree->width() - 4); });
}

void TScenariosFrame::Activate(TProject* aProject) {
  // Work with the width the view has in its panel now.
  if (parentWidget() != nullptr && parentWidget()->layout() != nullptr)
    parentWidget()->layout()->activate();
  layout()->activate();
  const int Free = FSplitter->width() - FSplitter->handleWidth();
  FSplitter->setSizes({std::max(0, Free - AvailableWidth), AvailableWidth});
  FPresenter.Activate(aProject);
}

void TScenariosFrame::Deactivate() {
  FPresenter.Deactivate();
}

int TScenariosFrame::FlatIndex(const TTreeNode* aNode) const {
  if (aNode == nullptr)
    return -1;
  if (aNode->Level() == 0)
    return FPresenter.RowIndex().RowOf(aNode->Index());
  return FPresenter.RowIndex().RowOf(aNode->Parent()->Index(), aNode->Index());
}

std::vector<int> TScenariosFrame::SelectedRows() const {
  return SelectedRowNumbers(*FTree->selectionModel(), [this](const QModelIndex& aParent, int aRow) {
    // Under a filter the tree's rows are the shown ones: their nodes know
    // where they stand.
    if (FTree->Model()->Filtered())
      return FlatIndex(FTree->NodeOf(FTree->Model()->index(aRow, 0, aParent)));
    return aParent.isValid() ? FPresenter.RowIndex().RowOf(aParent.row(), aRow)
                             : FPresenter.RowIndex().RowOf(aRow);
  });
}

bool TScenariosFrame::AnyRowSelected() const {
  return FTree->selectionModel()->hasSelection();
}

int TScenariosFrame::CurrentRow() const {
  return FlatIndex(FTree->CurrentNode());
}

std::vector<int> TScenariosFrame::SelectedAvailable() const {
  return SelectedRowNumbers(
      *FUnitTestsTree->selectionModel(), [this](const QModelIndex& aParent, int aRow) {
        if (aParent.isValid())
          return -1;
        if (FUnitTestsTree->Model()->Filtered())
          return FUnitTestsTree->NodeOf(FUnitTestsTree->Model()->index(aRow, 0))->Index();
        return aRow;
      });
}

bool TScenariosFrame::AnyAvailableSelected() const {
  return FUnitTestsTree->selectionModel()->hasSelection();
}

void TScenariosFrame::ShowAvailable() {
  FUnitTestsTree->selectionModel()->clear();
  FUnitTestsTree->BeginUpdate();
  FUnitTestsTree->Clear();
  for (const TAvailableRow& Row : FPresenter.AvailableRows()) {
    TTreeNode* Node = FUnitTestsTree->AddChild(nullptr, Row.Text, Row.UnitTest);
    FUnitTestsTree->SetImageIndex(Node, stiUnitTest);
  }
  FUnitTestsTree->EndUpdate();
  FUnitTestsTree->SetHiddenRows(FPresenter.HiddenRows(sctAvailable));
}

void TScenariosFrame::ShowRows() {
  // The presenter has recorded the selection; the tree need not keep it.
  FTree->selectionModel()->clear();
  FTree->BeginUpdate();
  FTree->Clear();
  FNodes.clear();
  FNodes.reserve(FPresenter.Rows().size());
  AddRowNodes(FPresenter.Rows(), [this](TTreeNode* aParent, const TScenarioRow& aRow) {
    TTreeNode* Node = aRow.IsScenario() ? FTree->AddChild(aParent, aRow.Text, aRow.Scenario)
                                        : FTree->AddChild(aParent, aRow.Text, aRow.UnitTest);
    if (!aRow.IsScenario())
      FTree->SetText(Node, 1, aRow.Module);
    FTree->SetImageIndex(Node, aRow.Image);
    FTree->SetCheckBox(Node, true);
    FTree->SetChecked(Node, aRow.Checked);
    FNodes.push_back(Node);
    return Node;
  });
  FTree->EndUpdate();
  FTree->SetHiddenRows(FPresenter.HiddenRows(sctScenarios));
  FTree->FullExpand();
  ApplySelection(FPresenter.Selection());
}

void TScenariosFrame::ApplySelection(const TRowSelection& aSelection) {
  const int Count = static_cast<int>(FNodes.size());
  const int LastColumn = std::max(0, FTree->ColumnCount() - 1);
  QItemSelection Selection;
  // Neighbouring rows under one parent make one range.
  for (const TRowRange& Range : SelectedRanges(FPresenter.Rows(), aSelection.Rows))
    Selection.select(FTree->IndexOf(FNodes[static_cast<std::size_t>(Range.First)], 0),
                     FTree->IndexOf(FNodes[static_cast<std::size_t>(Range.Last)], LastColumn));
  QItemSelectionModel* Model = FTree->selectionModel();
  if (aSelection.Current >= 0 && aSelection.Current < Count)
    Model->setCurrentIndex(FTree->IndexOf(FNodes[static_cast<std::size_t>(aSelection.Current)]),
                           QItemSelectionModel::NoUpdate);
  Model->select(Selection, QItemSelectionModel::ClearAndSelect);
}

void TScenariosFrame::CheckToggled(TTreeNode* aNode) {
  // The object changes at once; the rebuild waits until the tree has finished
  // handling the click or key that toggled the box.
  FPresenter.SetItemEnabled(FlatIndex(aNode), aNode->Checked());
  if (FRefreshPending)
    return;
  FRefreshPending = true;
  QTimer::singleShot(0, this, [this] {
    FRefreshPending = false;
    FPresenter.RefreshAll();
  });
}

} // namespace Kalvoro
