#include "FResults.h"

#include "Application.h"
#include "CommandActions.h"
#include "EditorLauncher.h"
#include "FProgress.h"
#include "FilterBar.h"
#include "Images.h"
#include "LinesPage.h"
#include "LinesView.h"
#include "ResultMarks.h"
#include "RunAgainToggle.h"
#include "TreeHelper.h"
#include "TreeView.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QSplitter>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace Kalvoro {

namespace {

constexpr int TreeWidth = 305;
constexpr int SplitterWidth = 3;
constexpr int DurationColumn = 2;

// A row's texts, images and accessible description as its row gives them.
void ShowRow(TTreeView& aTree, TTreeNode* aNode, const TResultRow& aRow) {
  if (aNode->Text(1) != aRow.Status)
    aTree.SetText(aNode, 1, aRow.Status);
  if (aNode->Text(DurationColumn) != aRow.Duration)
    aTree.SetText(aNode, DurationColumn, aRow.Duration);
  if (aNode->SecondImageIndex() != aRow.StatusImage)
    aTree.SetSecondImageIndex(aNode, aRow.StatusImage);
  if (const QString Mark = MarkText(aRow.Mark); aNode->Description() != Mark)
    aTree.SetDescription(aNode, Mark);
}

// The object that a row stands for.
TRowObject ObjectOf(const TResultRow& aRow) {
  return aRow.Kind == rrkScenario   ? TRowObject(aRow.Scenario)
         : aRow.Kind == rrkUnitTest ? TRowObject(aRow.UnitTest)
                                    : TRowObject(aRow.Method);
}

// What aText needs in the tree's font, with a cell's margins.
int FittingWidth(const TTreeView& aTree, const QString& aText) {
  return aTree.fontMetrics().horizontalAdvance(aText) +
         2 * aTree.style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 8;
}

const char* const PageCaptions[] = {"Summary", "Log", "Errors"};
const char* const PageObjects[] = {"SummaryTab", "TabSheet2", "TabSheet3"};
const char* const MemoObjects[] = {"SummaryMemo", "LogMemo", "ErrorMemo"};
const char* const BoxObjects[] = {"cbSummaryToFile", "cbLogToFile", "cbErrorsToFile"};
const char* const EditObjects[] = {"edtSummaryFileName", "edtLogFileName", "edtErrorFileName"};
const char* const ChooserObjects[] = {"btnOpenSummaryFile", "btnOpenLogFile", "btnOpenErrorFile"};

} // namespace

TResultsFrame::TResultsFrame(IDialogs& aDialogs, QWidget* aOwner)
    : TFrameView(QStringLiteral("Results"), niResults, aOwner), FPresenter(aDialogs, *this) {
  setObjectName(QStringLiteral("ResultsFrame"));
  ToolBar()->setObjectName(QStringLiteral("ToolBar"));
  FPopupMenu = new QMenu(this);
  FPopupMenu->setObjectName(QStringLiteral("PopupMenu"));
  FResultsMenu = new QMenu(QStringLiteral("&Results"), this);
  FResultsMenu->setObjectName(QStringLiteral("mniResults"));
  AddMenu(FResultsMenu, 1);

  FTree = new TTreeView(this);
  FTree->setObjectName(QStringLiteral("Tree"));
  FTree->setAccessibleName(QStringLiteral("Results"));
  FTree->SetColumns(
      {QStringLiteral("UnitTest"), QStringLiteral("Status"), QStringLiteral("Duration")});
  FTree->SetImages(ResultTreeImages());
  FTree->SetMultiSelect(true);
  FTree->SetShowLines(true);
  FTree->SetPopupMenu(FPopupMenu);
  connect(FTree, &TTreeView::Resized, this, [this] { TreeResize(); });
  // The Duration header sorts each level slowest first, and back.
  FTree->header()->setSectionsClickable(true);
  connect(FTree->header(), &QHeaderView::sectionClicked, this, [this](int aSection) {
    if (aSection != DurationColumn)
      return;
    RunGuarded([&] { FPresenter.ToggleDurationSort(); });
    FTree->header()->setSortIndicatorShown(FPresenter.SortedByDuration());
    FTree->header()->setSortIndicator(DurationColumn, Qt::DescendingOrder);
  });

  // The filter box over the tree, with a toggle for each result.
  FFilter = new TFilterBar(QStringLiteral("Filter results"), this);
  FFilter->setObjectName(QStringLiteral("ResultsFilter"));
  FFilter->AddToggle(QStringLiteral("Failed"), QStringLiteral("Show failed methods"), rtFailed);
  FFilter->AddToggle(QStringLiteral("Exception"), QStringLiteral("Show methods that raised"),
                     rtException);
  FFilter->AddToggle(QStringLiteral("Not run"), QStringLiteral("Show methods not run"), rtNotRun);
  FFilter->AddToggle(QStringLiteral("Success"), QStringLiteral("Show methods that passed"),
                     rtSuccess);
  FFilter->AttachShortcut(FTree);
  connect(FFilter, &TFilterBar::Changed, this, [this] {
    RunGuarded([&] { FPresenter.SetFilter(FFilter->Text(), FFilter->Toggles()); });
  });
  // The details pane under the tree: what the current row's last run told.
  FDetails = new QPlainTextEdit(this);
  FDetails->setObjectName(QStringLiteral("DetailsPane"));
  FDetails->setAccessibleName(QStringLiteral("Details"));
  FDetails->setReadOnly(true);
  FDetails->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  connect(FTree, &TTreeView::CurrentNodeChanged, this, [this] { ShowDetails(); });
  // Double-click or Enter on a failure opens its file at its line.
  FEditor = std::make_unique<TDesktopEditorLauncher>();
  FPresenter.SetEditorLauncher(FEditor.get());
  FPresenter.SetStatusText([this](const QString& aText) {
    QStatusTipEvent Tip(aText);
    QCoreApplication::sendEvent(window(), &Tip);
  });
  connect(FTree, &TTreeView::NodeDoubleClicked, this,
          [this](TTreeNode* aNode) { OpenFailure(FTree->FlatIndexOf(aNode)); });
  for (const int Key : {Qt::Key_Return, Qt::Key_Enter}) {
    auto* Open = new QShortcut(QKeySequence(Key), FTree);
    Open->setContext(Qt::WidgetShortcut);
    connect(Open, &QShortcut::activated, this, [this] { OpenFailure(CurrentRow()); });
  }
  FRunAgain = new TRunAgainToggle(
      [this](bool aChecked) { FPresenter.SetRunAgainAfterRebuild(aChecked); }, this);
  // Over the tree: the results are of modules rebuilt since.
  FOutOfDate = new QLabel(this);
  FOutOfDate->setObjectName(QStringLiteral("OutOfDateLabel"));
  FOutOfDate->setWordWrap(true);
  FOutOfDate->hide();
  auto* TreeSplitter = new QSplitter(Qt::Vertical, this);
  TreeSplitter->setObjectName(QStringLiteral("TreeSplitter"));
  TreeSplitter->setChildrenCollapsible(false);
  TreeSplitter->addWidget(FTree);
  TreeSplitter->addWidget(FDetails);
  TreeSplitter->setStretchFactor(0, 3);
  TreeSplitter->setStretchFactor(1, 1);
  auto* TreePanel = new QWidget(this);
  TreePanel->setObjectName(QStringLiteral("TreePanel"));
  auto* TreeLayout = new QVBoxLayout(TreePanel);
  TreeLayout->setContentsMargins(0, 0, 0, 0);
  TreeLayout->setSpacing(0);
  TreeLayout->addWidget(FFilter);
  TreeLayout->addWidget(FRunAgain);
  TreeLayout->addWidget(FOutOfDate);
  TreeLayout->addWidget(TreeSplitter, 1);

  FErrorTab = new QTabWidget(this);
  FErrorTab->setObjectName(QStringLiteral("ErrorTab"));
  FErrorTab->setAccessibleName(QStringLiteral("Run output"));
  for (TPageKind Page : PageKinds)
    FErrorTab->addTab(MakePage(Page), QLatin1String(PageCaptions[Page]));
  FErrorTab->setCurrentIndex(pkSummary);

  FSplitter = new QSplitter(Qt::Horizontal, this);
  FSplitter->setObjectName(QStringLiteral("Splitter"));
  FSplitter->setHandleWidth(SplitterWidth);
  FSplitter->setChildrenCollapsible(false);
  FSplitter->addWidget(TreePanel);
  FSplitter->addWidget(FErrorTab);
  FSplitter->setStretchFactor(0, 0);
  FSplitter->setStretchFactor(1, 1);
  FSplitter->setSizes({TreeWidth, TreeWidth * 2});

  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->setSpacing(0);
  Layout->addWidget(ToolBar());
  Layout->addWidget(FSplitter, 1);

  FPresenter.SetRunStep(ProgressRunStep(&aDialogs));
  FPresenter.SetWholeRunStep(ProgressWholeRunStep(&aDialogs));
  FActions =
      std::make_unique<TCommandActions>(FPresenter.Commands(), ResultActionImages(), this,
                                        TCommandWidgets{ToolBar(), FResultsMenu, FPopupMenu});
}

TResultsFrame::~TResultsFrame() {
  // The tree outlives the presenter: its last signals must not reach the view.
  disconnect(FTree, nullptr, this, nullptr);
}

QWidget* TResultsFrame::MakePage(TPageKind aPage) {
  const QString Caption = QLatin1String(PageCaptions[aPage]);
  auto* Sheet = new QWidget;
  Sheet->setObjectName(QLatin1String(PageObjects[aPage]));
  auto* View = new TLinesView(Sheet);
  View->setObjectName(QLatin1String(MemoObjects[aPage]));
  View->setAccessibleName(Caption);
  View->setModel(&FPresenter.Page(aPage));
  FPageViews[aPage] = View;

  auto* Box = new QCheckBox(QStringLiteral("Log to file"), Sheet);
  Box->setObjectName(QLatin1String(BoxObjects[aPage]));
  Box->setAccessibleName(QStringLiteral("Log to file"));
  Box->setAccessibleDescription(
      QStringLiteral("Write the %1 page to its file after a run").arg(Caption));
  // clicked comes from the user only: showing the settings is no change.
  connect(Box, &QCheckBox::clicked, this, [this, aPage](bool aChecked) {
    RunGuarded([&] { FPresenter.ToFileClicked(aPage, aChecked); });
  });
  auto* Edit = new QLineEdit(Sheet);
  Edit->setObjectName(QLatin1String(EditObjects[aPage]));
  Edit->setAccessibleName(QStringLiteral("%1 file name").arg(Caption));
  connect(Edit, &QLineEdit::textEdited, this,
          [this, aPage](const QString& aText) { FPresenter.FileNameEdited(aPage, aText); });
  auto* Chooser = new QToolButton(Sheet);
  Chooser->setObjectName(QLatin1String(ChooserObjects[aPage]));
  Chooser->setText(QStringLiteral(">"));
  Chooser->setAccessibleName(QStringLiteral("Choose the %1 file").arg(Caption));
  Chooser->setToolTip(Chooser->accessibleName());
  connect(Chooser, &QToolButton::clicked, this,
          [this, aPage] { RunGuarded([&] { FPresenter.ChooseFile(aPage); }); });
  FToFile[aPage] = Box;
  FFileName[aPage] = Edit;
  FChooser[aPage] = Chooser;

  auto* Strip = new QHBoxLayout;
  Strip->setContentsMargins(4, 2, 4, 2);
  Strip->addWidget(Box);
  Strip->addWidget(Edit, 1);
  Strip->addWidget(Chooser);
  auto* Layout = new QVBoxLayout(Sheet);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->setSpacing(0);
  Layout->addWidget(View, 1);
  Layout->addLayout(Strip);
  return Sheet;
}

TAction* TResultsFrame::Action(const QString& aName) const {
  return FActions->Find(aName);
}

void TResultsFrame::Activate(TProject* aProject) {
  FPresenter.Activate(aProject);
}

void TResultsFrame::Deactivate() {
  FPresenter.Deactivate();
  FTree->DropFilter();
  FTree->Clear();
  FDetails->clear();
}

void TResultsFrame::RefreshTree() {
  // After a run the rows are those of before with new results: updating them
  // in place keeps the rows, their selection and expansion, and spares the
  // view laying out every row again.
  if (UpdateInPlace()) {
    ShowFilter();
    return;
  }
  {
    TTreeUpdateScope Update(*FTree);
    FillTree();
  }
  // Expanding waits for the rows to reach the view, which is at the update's end.
  FTree->FullExpand();
  ShowFilter();
}

void TResultsFrame::ShowFilter() {
  FTree->SetHiddenRows(FPresenter.HiddenRows());
  ShowDetails();
  const QString OutOfDate = FPresenter.OutOfDateText();
  FOutOfDate->setText(OutOfDate);
  FOutOfDate->setAccessibleName(OutOfDate);
  FOutOfDate->setVisible(!OutOfDate.isEmpty());
}

void TResultsFrame::OpenFailure(int aRow) {
  const QString Status = FPresenter.OpenFailure(aRow);
  if (Status.isEmpty())
    return;
  // The main window shows a status tip in its status bar.
  QStatusTipEvent Tip(Status);
  QCoreApplication::sendEvent(window(), &Tip);
}

void TResultsFrame::ShowDetails() {
  const QString Text = FPresenter.Details(CurrentRow()).join(QLatin1Char('\n'));
  if (FDetails->toPlainText() != Text)
    FDetails->setPlainText(Text);
}

std::vector<int> TResultsFrame::SelectedRows() const {
  std::vector<int> Result;
  for (const TTreeNode* Node : FTree->SelectedNodes())
    if (!Node->Hidden())
      Result.push_back(FTree->FlatIndexOf(Node));
  return Result;
}

void TResultsFrame::SelectRow(int aRow) {
  TTreeNode* Node = FTree->NodeAtFlatIndex(aRow);
  if (Node == nullptr || Node->Hidden())
    return;
  FTree->ClearSelection();
  FTree->SetCurrentNode(Node);
  FTree->SetSelected(Node, true);
  FTree->scrollTo(FTree->IndexOf(Node));
  ShowDetails();
}

bool TResultsFrame::UpdateInPlace() {
  const std::vector<TResultRow>& Rows = FPresenter.Rows();
  if (FTree->TotalCount() != static_cast<int>(Rows.size()) || Rows.empty())
    return false;
  // The tree's rows in tree order, each standing for the same object as its row.
  std::vector<TTreeNode*> Nodes;
  Nodes.reserve(Rows.size());
  std::vector<TTreeNode*> Pending;
  for (int I = FTree->TopLevelCount() - 1; I >= 0; --I)
    Pending.push_back(FTree->TopLevelNode(I));
  while (!Pending.empty()) {
    TTreeNode* Node = Pending.back();
    Pending.pop_back();
    const TResultRow& Row = Rows[Nodes.size()];
    if (Node->Object() != ObjectOf(Row) || Node->Level() != Row.Level() ||
        Node->Text(0) != Row.Text)
      return false;
    Nodes.push_back(Node);
    for (int I = Node->ChildCount() - 1; I >= 0; --I)
      Pending.push_back(Node->Child(I));
  }
  for (std::size_t I = 0; I < Rows.size(); ++I) {
    ShowRow(*FTree, Nodes[I], Rows[I]);
    if (Nodes[I]->ChildCount() > 0 && !FTree->IsExpanded(Nodes[I]))
      FTree->Expand(Nodes[I]);
  }
  if (FTree->SelectedCount() == 0)
    RestoreSelection(*FTree, {});
  return true;
}

void TResultsFrame::FillTree() {
  SaveSelection(*FTree, FSelection);
  FTree->Clear();
  AddRowNodes(FPresenter.Rows(), [this](TTreeNode* aParent, const TResultRow& aRow) {
    TTreeNode* Node = FTree->AddChild(aParent, aRow.Text, ObjectOf(aRow));
    FTree->SetImageIndex(Node, aRow.Image);
    ShowRow(*FTree, Node, aRow);
    return Node;
  });
  RestoreSelection(*FTree, FSelection);
}

void TResultsFrame::ShowFileControls() {
  for (TPageKind Page : PageKinds) {
    const TFileControls& Controls = FPresenter.FileControls(Page);
    // setChecked emits no clicked: only the user's clicks change the project.
    FToFile[Page]->setChecked(Controls.ToFile);
    FFileName[Page]->setText(Controls.FileName);
    FFileName[Page]->setEnabled(Controls.Editable);
    FChooser[Page]->setEnabled(Controls.Editable);
  }
}

int TResultsFrame::CurrentRow() const {
  TTreeNode* Current = FTree->CurrentNode();
  if (Current != nullptr && FTree->IsSelected(Current))
    return FTree->FlatIndexOf(Current);
  const std::vector<TTreeNode*> Selected = FTree->SelectedNodes();
  return Selected.empty() ? -1 : FTree->FlatIndexOf(Selected.front());
}

void TResultsFrame::TreeResize() {
  // The status column fits the widest result word (70 pixels at least), the
  // duration column a long time and its header's caption.
  const int Status = std::max(70, FittingWidth(*FTree, ResultText(tcrException)));
  const int Duration = std::max(FittingWidth(*FTree, QStringLiteral("10 min 00 s")),
                                FittingWidth(*FTree, QStringLiteral("Duration")) + 16);
  FTree->SetColumnWidth(0, FTree->width() - Status - Duration - 4);
  FTree->SetColumnWidth(1, Status);
  FTree->SetColumnWidth(DurationColumn, Duration);
}

} // namespace Kalvoro
