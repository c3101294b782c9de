#include "TreeView.h"

#include <QAbstractItemModel>
#include <QContextMenuEvent>
#include <QDrag>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
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

constexpr int ImageSize = 16;
constexpr int ImageGap = 2;

} // namespace

int TTreeNode::Level() const {
  int Result = -1;
  for (const TTreeNode* Node = FParent; Node != nullptr; Node = Node->FParent)
    ++Result;
  return Result;
}

QString TTreeNode::Text(int aColumn) const {
  if (aColumn < 0 || aColumn >= static_cast<int>(FTexts.size()))
    return {};
  return FTexts[static_cast<std::size_t>(aColumn)];
}

// The item model over the tree's rows. Indexes point at the rows themselves.
class TTreeModel : public QAbstractItemModel {
public:
  TTreeModel(TTreeView* aTree, TTreeNode* aRoot) : QAbstractItemModel(aTree), FTree(aTree) {
    FRoot = aRoot;
  }

  TTreeNode* NodeOf(const QModelIndex& aIndex) const {
    return aIndex.isValid() ? static_cast<TTreeNode*>(aIndex.internalPointer()) : FRoot;
  }
  QModelIndex IndexOf(const TTreeNode* aNode, int aColumn) const {
    if (aNode == nullptr || aNode == FRoot)
      return {};
    return createIndex(aNode->FIndex, aColumn, const_cast<TTreeNode*>(aNode));
  }

  void SetHeaders(const QStringList& aHeaders) {
    beginResetModel();
    FHeaders = aHeaders;
    endResetModel();
  }
  int HeaderCount() const { return static_cast<int>(FHeaders.size()); }

  void BeginReset() { beginResetModel(); }
  void EndReset() { endResetModel(); }
  void BeginInsert(TTreeNode* aParent, int aRow) {
    beginInsertRows(IndexOf(aParent, 0), aRow, aRow);
  }
  void EndInsert() { endInsertRows(); }
  void BeginRemove(TTreeNode* aParent, int aRow) {
    beginRemoveRows(IndexOf(aParent, 0), aRow, aRow);
  }
  void EndRemove() { endRemoveRows(); }
  void RowChanged(TTreeNode* aNode) {
    emit dataChanged(IndexOf(aNode, 0), IndexOf(aNode, std::max(0, columnCount({}) - 1)));
  }

  QModelIndex index(int aRow, int aColumn, const QModelIndex& aParent) const override {
    const TTreeNode* Parent = NodeOf(aParent);
    if (aRow < 0 || aRow >= Parent->ChildCount() || aColumn < 0 || aColumn >= columnCount({}))
      return {};
    return createIndex(aRow, aColumn, Parent->Child(aRow));
  }
  QModelIndex parent(const QModelIndex& aIndex) const override {
    if (!aIndex.isValid())
      return {};
    return IndexOf(NodeOf(aIndex)->FParent, 0);
  }
  int rowCount(const QModelIndex& aParent) const override {
    if (aParent.column() > 0)
      return 0;
    return NodeOf(aParent)->ChildCount();
  }
  int columnCount(const QModelIndex& /*aParent*/) const override {
    return std::max(1, HeaderCount());
  }
  QVariant data(const QModelIndex& aIndex, int aRole) const override {
    if (!aIndex.isValid())
      return {};
    const TTreeNode* Node = NodeOf(aIndex);
    switch (aRole) {
    case Qt::DisplayRole:
      return Node->Text(aIndex.column());
    case Qt::DecorationRole:
      if (aIndex.column() == 0)
        return FTree->DecorationOf(Node);
      return {};
    case Qt::CheckStateRole:
      if (aIndex.column() == 0 && Node->FHasCheckBox)
        return Node->FChecked ? Qt::Checked : Qt::Unchecked;
      return {};
    default:
      return {};
    }
  }
  bool setData(const QModelIndex& aIndex, const QVariant& aValue, int aRole) override {
    // Only the view calls this, for a user's click or key on a check box.
    if (!aIndex.isValid() || aRole != Qt::CheckStateRole || aIndex.column() != 0)
      return false;
    TTreeNode* Node = NodeOf(aIndex);
    if (!Node->FHasCheckBox)
      return false;
    Node->FChecked = aValue.toInt() == Qt::Checked;
    RowChanged(Node);
    FTree->NotifyCheckToggled(Node);
    return true;
  }
  Qt::ItemFlags flags(const QModelIndex& aIndex) const override {
    if (!aIndex.isValid())
      return Qt::NoItemFlags;
    Qt::ItemFlags Result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (FTree->dragEnabled())
      Result |= Qt::ItemIsDragEnabled;
    if (aIndex.column() == 0 && NodeOf(aIndex)->FHasCheckBox)
      Result |= Qt::ItemIsUserCheckable;
    return Result;
  }
  QVariant headerData(int aSection, Qt::Orientation aOrientation, int aRole) const override {
    if (aOrientation == Qt::Horizontal && aRole == Qt::DisplayRole && aSection >= 0 &&
        aSection < HeaderCount())
      return FHeaders[aSection];
    return {};
  }

private:
  TTreeView* FTree;
  TTreeNode* FRoot;
  QStringList FHeaders;
};

TTreeView::TTreeView(QWidget* aParent) : QTreeView(aParent), FRoot(new TTreeNode) {
  LiveTrees().insert(this);
  FModel = new TTreeModel(this, FRoot.get());
  setModel(FModel);
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
  // The model refers to the rows; let it go before them.
  setModel(nullptr);
  delete FModel;
}

void TTreeView::SetColumns(const QStringList& aCaptions) {
  FModel->SetHeaders(aCaptions);
}

int TTreeView::ColumnCount() const {
  return FModel->HeaderCount();
}

void TTreeView::SetColumnWidth(int aColumn, int aWidth) {
  setColumnWidth(aColumn, std::max(0, aWidth));
}

void TTreeView::SetImages(const QList<QIcon>& aImages) {
  FImages = aImages;
  FPairIcons.clear();
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
  setIconSize(QSize(FUsesSecondImage ? 2 * ImageSize + ImageGap : ImageSize, ImageSize));
}

QIcon TTreeView::DecorationOf(const TTreeNode* aNode) const {
  const auto Image = [this](int aIndex) {
    return aIndex >= 0 && aIndex < FImages.size() ? FImages[aIndex] : QIcon();
  };
  if (aNode->FSecondImageIndex < 0)
    return Image(aNode->FImageIndex);
  const quint64 Key = (static_cast<quint64>(static_cast<quint32>(aNode->FImageIndex + 1)) << 32) |
                      static_cast<quint32>(aNode->FSecondImageIndex + 1);
  auto Found = FPairIcons.constFind(Key);
  if (Found != FPairIcons.constEnd())
    return *Found;
  QPixmap Pair(2 * ImageSize + ImageGap, ImageSize);
  Pair.fill(Qt::transparent);
  {
    QPainter Painter(&Pair);
    const QIcon First = Image(aNode->FImageIndex);
    if (!First.isNull())
      First.paint(&Painter, QRect(0, 0, ImageSize, ImageSize));
    Image(aNode->FSecondImageIndex)
        .paint(&Painter, QRect(ImageSize + ImageGap, 0, ImageSize, ImageSize));
  }
  QIcon Result(Pair);
  FPairIcons.insert(Key, Result);
  return Result;
}

void TTreeView::UpdateCounts(TTreeNode* aFrom, int aDelta) {
  for (TTreeNode* Node = aFrom; Node != nullptr; Node = Node->FParent)
    Node->FDescendants += aDelta;
}

TTreeNode* TTreeView::AddChild(TTreeNode* aParent, const QString& aText, void* aData, int aKind) {
  TTreeNode* Parent = aParent != nullptr ? aParent : FRoot.get();
  auto Node = std::unique_ptr<TTreeNode>(new TTreeNode);
  Node->FParent = Parent;
  Node->FIndex = Parent->ChildCount();
  Node->FData = aData;
  Node->FKind = aKind;
  if (!aText.isEmpty())
    Node->FTexts.push_back(aText);
  TTreeNode* Result = Node.get();
  if (FUpdateCount == 0)
    FModel->BeginInsert(Parent, Node->FIndex);
  Parent->FChildren.push_back(std::move(Node));
  UpdateCounts(Parent, 1);
  if (FUpdateCount == 0)
    FModel->EndInsert();
  return Result;
}

void TTreeView::ForgetPending(const TTreeNode* aNode) {
  const auto Within = [aNode](const TTreeNode* aCandidate) {
    for (const TTreeNode* Node = aCandidate; Node != nullptr; Node = Node->FParent)
      if (Node == aNode)
        return true;
    return false;
  };
  std::erase_if(FPendingSelection, Within);
  if (FPendingCurrent != nullptr && Within(FPendingCurrent))
    FPendingCurrent = nullptr;
}

void TTreeView::DeleteNode(TTreeNode* aNode) {
  if (aNode == nullptr || aNode == FRoot.get())
    return;
  TTreeNode* Parent = aNode->FParent;
  const int Row = aNode->FIndex;
  ForgetPending(aNode);
  if (FUpdateCount == 0)
    FModel->BeginRemove(Parent, Row);
  UpdateCounts(Parent, -(1 + aNode->FDescendants));
  Parent->FChildren.erase(Parent->FChildren.begin() + Row);
  for (int I = Row; I < Parent->ChildCount(); ++I)
    Parent->Child(I)->FIndex = I;
  if (FUpdateCount == 0)
    FModel->EndRemove();
}

void TTreeView::Clear() {
  FPendingSelection.clear();
  FPendingCurrent = nullptr;
  if (FUpdateCount == 0)
    FModel->BeginReset();
  FRoot->FChildren.clear();
  FRoot->FDescendants = 0;
  if (FUpdateCount == 0)
    FModel->EndReset();
}

void TTreeView::SetText(TTreeNode* aNode, int aColumn, const QString& aText) {
  if (aColumn < 0)
    return;
  auto& Texts = aNode->FTexts;
  if (static_cast<int>(Texts.size()) <= aColumn)
    Texts.resize(static_cast<std::size_t>(aColumn) + 1);
  Texts[static_cast<std::size_t>(aColumn)] = aText;
  if (FUpdateCount == 0)
    FModel->RowChanged(aNode);
}

void TTreeView::SetImageIndex(TTreeNode* aNode, int aIndex) {
  aNode->FImageIndex = aIndex;
  if (FUpdateCount == 0)
    FModel->RowChanged(aNode);
}

void TTreeView::SetSecondImageIndex(TTreeNode* aNode, int aIndex) {
  aNode->FSecondImageIndex = aIndex;
  if (aIndex >= 0 && !FUsesSecondImage) {
    FUsesSecondImage = true;
    AdjustIconSize();
  }
  if (FUpdateCount == 0)
    FModel->RowChanged(aNode);
}

void TTreeView::SetCheckBox(TTreeNode* aNode, bool aVisible) {
  aNode->FHasCheckBox = aVisible;
  if (FUpdateCount == 0)
    FModel->RowChanged(aNode);
}

void TTreeView::SetChecked(TTreeNode* aNode, bool aChecked) {
  aNode->FChecked = aChecked;
  if (FUpdateCount == 0)
    FModel->RowChanged(aNode);
}

void TTreeView::NotifyCheckToggled(TTreeNode* aNode) {
  emit CheckToggled(aNode);
}

int TTreeView::FlatIndexOf(const TTreeNode* aNode) const {
  if (aNode == nullptr || aNode == FRoot.get())
    return -1;
  int Result = 0;
  for (const TTreeNode* Node = aNode; Node->FParent != nullptr; Node = Node->FParent) {
    const TTreeNode* Parent = Node->FParent;
    for (int I = 0; I < Node->FIndex; ++I)
      Result += 1 + Parent->Child(I)->FDescendants;
    if (Parent != FRoot.get())
      Result += 1;
  }
  return Result;
}

TTreeNode* TTreeView::NodeAtFlatIndex(int aIndex) const {
  if (aIndex < 0 || aIndex >= TotalCount())
    return nullptr;
  const TTreeNode* Node = FRoot.get();
  for (;;) {
    for (const auto& Child : Node->FChildren) {
      if (aIndex == 0)
        return Child.get();
      if (aIndex <= Child->FDescendants) {
        --aIndex;
        Node = Child.get();
        break;
      }
      aIndex -= 1 + Child->FDescendants;
    }
  }
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
  FModel->BeginReset();
}

void TTreeView::EndUpdate() {
  if (FUpdateCount == 0 || --FUpdateCount > 0)
    return;
  FModel->EndReset();
  TTreeNode* Current = FPendingCurrent;
  std::vector<TTreeNode*> Selection;
  Selection.swap(FPendingSelection);
  FPendingCurrent = nullptr;
  if (Current != nullptr)
    selectionModel()->setCurrentIndex(IndexOf(Current), QItemSelectionModel::NoUpdate);
  QItemSelection Rows;
  for (TTreeNode* Node : Selection)
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

void TTreeView::drawBranches(QPainter* aPainter, const QRect& aRect,
                             const QModelIndex& aIndex) const {
  // The style draws the background and the expand buttons; the lines go on top.
  QTreeView::drawBranches(aPainter, aRect, aIndex);
  const TTreeNode* Node = NodeOf(aIndex);
  if (!FShowLines || Node == nullptr)
    return;
  const int Indent = indentation();
  if (Indent <= 0)
    return;
  const bool Selected = selectionModel()->isSelected(aIndex);
  QPen Pen(palette().color(Selected ? QPalette::HighlightedText : QPalette::Mid), 1, Qt::DotLine);
  aPainter->save();
  aPainter->setRenderHint(QPainter::Antialiasing, false);
  aPainter->setPen(Pen);
  const int Top = aRect.top();
  const int Bottom = aRect.bottom();
  const int MidY = aRect.top() + aRect.height() / 2;
  // Each row's own cell is the last one of the branch area; its ancestors'
  // cells lie to the left, one indentation each. Without decorated roots the
  // top-level rows have no cell.
  const TTreeNode* Root = FRoot.get();
  const bool Rtl = isRightToLeft();
  const auto CellMid = [&](int aStepsLeft) {
    const int Left =
        Rtl ? aRect.left() + aStepsLeft * Indent : aRect.right() + 1 - (aStepsLeft + 1) * Indent;
    return Left + Indent / 2;
  };
  const auto HasNextSibling = [](const TTreeNode* aNode) {
    return aNode->Index() + 1 < aNode->Parent()->ChildCount();
  };
  if (Node->Parent() != Root || rootIsDecorated()) {
    const int X = CellMid(0);
    // Room around the expand button of a row with children.
    const int Gap = Node->ChildCount() > 0 ? std::min(6, Indent / 2) : 0;
    const bool LineAbove = Node->Parent() != Root || Node->Index() > 0;
    if (LineAbove)
      aPainter->drawLine(X, Top, X, MidY - Gap);
    if (HasNextSibling(Node))
      aPainter->drawLine(X, MidY + Gap, X, Bottom);
    const int EndX = Rtl ? X - Indent / 2 : X + Indent / 2;
    aPainter->drawLine(Rtl ? X - Gap : X + Gap, MidY, EndX, MidY);
  }
  int Steps = 1;
  for (const TTreeNode* Ancestor = Node->Parent(); Ancestor != Root;
       Ancestor = Ancestor->Parent(), ++Steps) {
    if (Ancestor->Parent() == Root && !rootIsDecorated())
      break;
    if (HasNextSibling(Ancestor)) {
      const int X = CellMid(Steps);
      aPainter->drawLine(X, Top, X, Bottom);
    }
  }
  aPainter->restore();
}

void TTreeView::SetRowDragEnabled(bool aValue) {
  setDragEnabled(aValue);
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

} // namespace Kalvoro
