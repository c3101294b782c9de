#include "TreeView.h"

#include "TreeBranches.h"

#include <QAbstractItemModel>
#include <QContextMenuEvent>
#include <QDrag>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QSet>

#include <algorithm>

namespace Kalvoro {

namespace {

// Trees alive in this process, so that a drag's source can be told from a
// stale or foreign pointer.
QSet<const TTreeView*>& LiveTrees() {
  static QSet<const TTreeView*> Trees;
  return Trees;
}

} // namespace

TTreeView::TTreeView(QWidget* aParent) : QTreeView(aParent), FModel(new TTreeModel(this)) {
  LiveTrees().insert(this);
  setModel(FModel);
  connect(FModel, &TTreeModel::CheckToggled, this, &TTreeView::CheckToggled);
  setUniformRowHeights(true);
  setEditTriggers(NoEditTriggers);
  setSelectionBehavior(SelectRows);
  setSelectionMode(SingleSelection);
  setAllColumnsShowFocus(true);
  setRootIsDecorated(true);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  setDragDropMode(NoDragDrop);
  setDropIndicatorShown(false);
  // The selection stays plainly visible when the tree loses the focus.
  QPalette Palette = palette();
  for (QPalette::ColorRole Role : {QPalette::Highlight, QPalette::HighlightedText})
    Palette.setColor(QPalette::Inactive, Role, Palette.color(QPalette::Active, Role));
  setPalette(Palette);
  AdjustIconSize();
}

TTreeView::~TTreeView() {
  LiveTrees().remove(this);
  // The view lets go of the model before the model and its rows go.
  setModel(nullptr);
  delete FModel;
}

void TTreeView::SetColumns(const QStringList& aCaptions) {
  FModel->SetHeaders(aCaptions);
  // Named after its first column unless its owner names it.
  if (accessibleName().isEmpty() && !aCaptions.isEmpty())
    setAccessibleName(aCaptions.front());
}

void TTreeView::SetColumnWidth(int aColumn, int aWidth) {
  setColumnWidth(aColumn, std::max(0, aWidth));
}

void TTreeView::SetImages(const QList<QIcon>& aImages) {
  FModel->SetImages(aImages);
  viewport()->update();
}

void TTreeView::SetMultiSelect(bool aValue) {
  setSelectionMode(aValue ? ExtendedSelection : SingleSelection);
}

bool TTreeView::MultiSelect() const {
  return selectionMode() == ExtendedSelection;
}

void TTreeView::SetShowLines(bool aValue) {
  FShowLines = aValue;
  viewport()->update();
}

void TTreeView::AdjustIconSize() {
  setIconSize(QSize(FModel->UsesSecondImage() ? 2 * TreeImageSize + TreeImageGap : TreeImageSize,
                    TreeImageSize));
}

void TTreeView::ForgetPending(const TTreeNode* aNode) {
  const auto Within = [aNode](const TTreeNode* aCandidate) {
    for (const TTreeNode* Node = aCandidate; Node != nullptr; Node = Node->Parent())
      if (Node == aNode)
        return true;
    return false;
  };
  std::erase_if(FPendingSelection, Within);
  if (FPendingCurrent != nullptr && Within(FPendingCurrent))
    FPendingCurrent = nullptr;
}

void TTreeView::DeleteNode(TTreeNode* aNode) {
  if (aNode == nullptr || aNode == FModel->Root())
    return;
  ForgetPending(aNode);
  FModel->DeleteNode(aNode);
}

void TTreeView::Clear() {
  FPendingSelection.clear();
  FPendingCurrent = nullptr;
  FModel->Clear();
}

void TTreeView::SetSecondImageIndex(TTreeNode* aNode, int aIndex) {
  const bool Used = FModel->UsesSecondImage();
  FModel->SetSecondImageIndex(aNode, aIndex);
  if (FModel->UsesSecondImage() != Used)
    AdjustIconSize();
}

std::vector<TTreeNode*> TTreeView::SelectedNodes() const {
  if (FUpdateCount > 0)
    return FPendingSelection;
  std::vector<std::pair<int, TTreeNode*>> Ordered;
  for (const QModelIndex& Index : selectionModel()->selectedRows(0)) {
    TTreeNode* Node = NodeOf(Index);
    if (Node != nullptr)
      Ordered.emplace_back(FlatIndexOf(Node), Node);
  }
  std::sort(Ordered.begin(), Ordered.end(),
            [](const auto& aLeft, const auto& aRight) { return aLeft.first < aRight.first; });
  std::vector<TTreeNode*> Result;
  Result.reserve(Ordered.size());
  for (const auto& Item : Ordered)
    Result.push_back(Item.second);
  return Result;
}

int TTreeView::SelectedCount() const {
  if (FUpdateCount > 0)
    return static_cast<int>(FPendingSelection.size());
  return static_cast<int>(selectionModel()->selectedRows(0).size());
}

bool TTreeView::IsSelected(const TTreeNode* aNode) const {
  if (aNode == nullptr)
    return false;
  if (FUpdateCount > 0)
    return std::find(FPendingSelection.begin(), FPendingSelection.end(), aNode) !=
           FPendingSelection.end();
  return selectionModel()->isSelected(IndexOf(aNode));
}

void TTreeView::SetSelected(TTreeNode* aNode, bool aSelected) {
  if (aNode == nullptr)
    return;
  if (FUpdateCount > 0) {
    auto Found = std::find(FPendingSelection.begin(), FPendingSelection.end(), aNode);
    if (aSelected && Found == FPendingSelection.end()) {
      if (!MultiSelect())
        FPendingSelection.clear();
      FPendingSelection.push_back(aNode);
    } else if (!aSelected && Found != FPendingSelection.end()) {
      FPendingSelection.erase(Found);
    }
    return;
  }
  QItemSelectionModel::SelectionFlags Flags =
      aSelected
          ? (MultiSelect() ? QItemSelectionModel::Select : QItemSelectionModel::ClearAndSelect)
          : QItemSelectionModel::Deselect;
  selectionModel()->select(IndexOf(aNode), Flags | QItemSelectionModel::Rows);
}

void TTreeView::ClearSelection() {
  if (FUpdateCount > 0)
    FPendingSelection.clear();
  else
    selectionModel()->clearSelection();
}

TTreeNode* TTreeView::CurrentNode() const {
  if (FUpdateCount > 0)
    return FPendingCurrent;
  return NodeOf(selectionModel()->currentIndex());
}

void TTreeView::SetCurrentNode(TTreeNode* aNode) {
  if (FUpdateCount > 0) {
    FPendingCurrent = aNode;
    return;
  }
  selectionModel()->setCurrentIndex(IndexOf(aNode), QItemSelectionModel::NoUpdate);
}

void TTreeView::BeginUpdate() {
  if (FUpdateCount > 0) {
    ++FUpdateCount;
    return;
  }
  FPendingSelection = SelectedNodes();
  FPendingCurrent = NodeOf(selectionModel()->currentIndex());
  FUpdateCount = 1;
  setUpdatesEnabled(false);
  FModel->BeginUpdate();
}

void TTreeView::EndUpdate() {
  if (FUpdateCount == 0 || --FUpdateCount > 0)
    return;
  FModel->EndUpdate();
  // Expanding now, before the selection asks for a layout, only records the
  // rows: one layout follows.
  if (FPendingExpandAll)
    expandAll();
  for (TTreeNode* Node : FPendingExpanded)
    setExpanded(IndexOf(Node), true);
  FPendingExpandAll = false;
  FPendingExpanded.clear();
  TTreeNode* Current = FPendingCurrent;
  std::vector<TTreeNode*> Selection;
  Selection.swap(FPendingSelection);
  FPendingCurrent = nullptr;
  if (Current != nullptr && !Current->Hidden())
    selectionModel()->setCurrentIndex(IndexOf(Current), QItemSelectionModel::NoUpdate);
  QItemSelection Rows;
  for (TTreeNode* Node : Selection)
    if (!Node->Hidden())
      Rows.select(IndexOf(Node, 0), IndexOf(Node, std::max(0, ColumnCount() - 1)));
  if (!Rows.isEmpty())
    selectionModel()->select(Rows, QItemSelectionModel::ClearAndSelect);
  setUpdatesEnabled(true);
  viewport()->update();
}

void TTreeView::FullExpand() {
  expandAll();
}

void TTreeView::Expand(TTreeNode* aNode, bool aExpanded) {
  setExpanded(IndexOf(aNode), aExpanded);
}

bool TTreeView::IsExpanded(const TTreeNode* aNode) const {
  return isExpanded(IndexOf(aNode));
}

TTreeNode* TTreeView::NodeAt(const QPoint& aViewportPos) const {
  return NodeOf(indexAt(aViewportPos));
}

QRect TTreeView::NodeRect(const TTreeNode* aNode) const {
  return visualRect(IndexOf(aNode));
}

QModelIndex TTreeView::IndexOf(const TTreeNode* aNode, int aColumn) const {
  return FModel->IndexOf(aNode, aColumn);
}

TTreeNode* TTreeView::NodeOf(const QModelIndex& aIndex) const {
  if (!aIndex.isValid() || aIndex.model() != FModel)
    return nullptr;
  return static_cast<TTreeNode*>(aIndex.internalPointer());
}

void TTreeView::resizeEvent(QResizeEvent* aEvent) {
  QTreeView::resizeEvent(aEvent);
  emit Resized();
}

void TTreeView::mouseDoubleClickEvent(QMouseEvent* aEvent) {
  QTreeView::mouseDoubleClickEvent(aEvent);
  emit NodeDoubleClicked(NodeAt(aEvent->position().toPoint()));
}

void TTreeView::contextMenuEvent(QContextMenuEvent* aEvent) {
  if (FPopupMenu == nullptr) {
    QTreeView::contextMenuEvent(aEvent);
    return;
  }
  FPopupMenu->exec(aEvent->globalPos());
  aEvent->accept();
}

void TTreeView::currentChanged(const QModelIndex& aCurrent, const QModelIndex& aPrevious) {
  QTreeView::currentChanged(aCurrent, aPrevious);
  emit CurrentNodeChanged(NodeOf(aCurrent));
}

void TTreeView::SetRowDragEnabled(bool aValue) {
  setDragEnabled(aValue);
  FModel->SetDragEnabled(aValue);
  setDragDropMode(aValue || FDropAcceptor ? DragDrop : NoDragDrop);
}

void TTreeView::SetDropAcceptor(std::function<bool(TTreeView*)> aAcceptor) {
  FDropAcceptor = std::move(aAcceptor);
  const bool Accepts = static_cast<bool>(FDropAcceptor);
  setAcceptDrops(Accepts);
  viewport()->setAcceptDrops(Accepts);
  setDragDropMode(Accepts || dragEnabled() ? DragDrop : NoDragDrop);
}

QString TTreeView::DragMimeType() {
  return QStringLiteral("application/x-kalvoro-tree-rows");
}

TTreeView* TTreeView::DragSource(const QMimeData* aData) {
  if (aData == nullptr || !aData->hasFormat(DragMimeType()))
    return nullptr;
  bool Ok = false;
  const quintptr Address = aData->data(DragMimeType()).toULongLong(&Ok);
  if (!Ok)
    return nullptr;
  for (const TTreeView* Tree : LiveTrees())
    if (reinterpret_cast<quintptr>(Tree) == Address)
      return const_cast<TTreeView*>(Tree);
  return nullptr;
}

void TTreeView::startDrag(Qt::DropActions aSupportedActions) {
  if (SelectedCount() == 0)
    return;
  auto* Data = new QMimeData;
  Data->setData(DragMimeType(), QByteArray::number(reinterpret_cast<quintptr>(this)));
  auto* Drag = new QDrag(this);
  Drag->setMimeData(Data);
  Drag->exec(aSupportedActions | Qt::MoveAction, Qt::MoveAction);
}

bool TTreeView::AcceptsDrag(const QMimeData* aData) {
  TTreeView* Source = DragSource(aData);
  return Source != nullptr && FDropAcceptor && FDropAcceptor(Source);
}

void TTreeView::dragEnterEvent(QDragEnterEvent* aEvent) {
  if (AcceptsDrag(aEvent->mimeData()))
    aEvent->acceptProposedAction();
  else
    aEvent->ignore();
}

void TTreeView::dragMoveEvent(QDragMoveEvent* aEvent) {
  if (AcceptsDrag(aEvent->mimeData()))
    aEvent->acceptProposedAction();
  else
    aEvent->ignore();
}

void TTreeView::dropEvent(QDropEvent* aEvent) {
  if (!AcceptsDrag(aEvent->mimeData())) {
    aEvent->ignore();
    return;
  }
  aEvent->acceptProposedAction();
  emit DragDropped(DragSource(aEvent->mimeData()), NodeAt(aEvent->position().toPoint()));
}

void TTreeView::SetHiddenRows(const std::vector<char>& aHidden) {
  const bool Hides = std::any_of(aHidden.begin(), aHidden.end(), [](char aHide) { return aHide; });
  if (!Hides && !FFilter.On())
    return;
  if (Hides && !FFilter.On())
    FFilter.Remember(*this);
  BeginUpdate();
  FModel->SetHiddenRows(aHidden);
  if (Hides) {
    FPendingExpandAll = true;
  } else {
    TFilterMemory::TRestored Restored = FFilter.Restore(*this);
    FPendingSelection = std::move(Restored.Selection);
    FPendingCurrent = Restored.Current;
    FPendingExpanded = std::move(Restored.Expanded);
  }
  EndUpdate();
}

void TTreeView::drawBranches(QPainter* aPainter, const QRect& aRect,
                             const QModelIndex& aIndex) const {
  // The style draws the background and the expand buttons; the lines go on top.
  QTreeView::drawBranches(aPainter, aRect, aIndex);
  if (FShowLines)
    DrawBranchLines(*this, *aPainter, aRect, aIndex);
}

} // namespace Kalvoro
