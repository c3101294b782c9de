#include "TreeModel.h"

#include <QPainter>
#include <QPixmap>

#include <algorithm>

namespace Kalvoro {

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

TTreeModel::TTreeModel(QObject* aParent) : QAbstractItemModel(aParent), FRoot(new TTreeNode) {}

TTreeModel::~TTreeModel() = default;

void TTreeModel::SetHeaders(const QStringList& aHeaders) {
  if (FUpdateCount == 0)
    beginResetModel();
  FHeaders = aHeaders;
  if (FUpdateCount == 0)
    endResetModel();
}

void TTreeModel::SetImages(const QList<QIcon>& aImages) {
  // The view repaints; rows keep their indexes into the new list.
  FImages = aImages;
  FPairIcons.clear();
}

QIcon TTreeModel::DecorationOf(const TTreeNode* aNode) const {
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
  QPixmap Pair(2 * TreeImageSize + TreeImageGap, TreeImageSize);
  Pair.fill(Qt::transparent);
  {
    QPainter Painter(&Pair);
    const QIcon First = Image(aNode->FImageIndex);
    if (!First.isNull())
      First.paint(&Painter, QRect(0, 0, TreeImageSize, TreeImageSize));
    Image(aNode->FSecondImageIndex)
        .paint(&Painter, QRect(TreeImageSize + TreeImageGap, 0, TreeImageSize, TreeImageSize));
  }
  QIcon Result(Pair);
  FPairIcons.insert(Key, Result);
  return Result;
}

void TTreeModel::UpdateCounts(TTreeNode* aFrom, int aDelta) {
  for (TTreeNode* Node = aFrom; Node != nullptr; Node = Node->FParent)
    Node->FDescendants += aDelta;
}

TTreeNode* TTreeModel::AddChild(TTreeNode* aParent, const QString& aText, TRowObject aObject) {
  TTreeNode* Parent = aParent != nullptr ? aParent : FRoot.get();
  auto Node = std::unique_ptr<TTreeNode>(new TTreeNode);
  Node->FParent = Parent;
  Node->FIndex = Parent->ChildCount();
  Node->FObject = aObject;
  Node->FHidden = Parent->FHidden;
  if (!aText.isEmpty())
    Node->FTexts.push_back(aText);
  TTreeNode* Result = Node.get();
  // Under a filter the shown rows are counted again: one reset.
  const bool Notify = FUpdateCount == 0 && !FFiltered;
  if (FUpdateCount == 0 && FFiltered)
    beginResetModel();
  if (Notify)
    beginInsertRows(IndexOf(Parent), Node->FIndex, Node->FIndex);
  Parent->FChildren.push_back(std::move(Node));
  UpdateCounts(Parent, 1);
  if (Notify)
    endInsertRows();
  if (FUpdateCount == 0 && FFiltered) {
    CollectShown();
    endResetModel();
  }
  return Result;
}

void TTreeModel::DeleteNode(TTreeNode* aNode) {
  if (aNode == nullptr || aNode == FRoot.get())
    return;
  TTreeNode* Parent = aNode->FParent;
  const int Row = aNode->FIndex;
  const bool Notify = FUpdateCount == 0 && !FFiltered;
  if (FUpdateCount == 0 && FFiltered)
    beginResetModel();
  if (Notify)
    beginRemoveRows(IndexOf(Parent), Row, Row);
  UpdateCounts(Parent, -(1 + aNode->FDescendants));
  Parent->FChildren.erase(Parent->FChildren.begin() + Row);
  for (int I = Row; I < Parent->ChildCount(); ++I)
    Parent->Child(I)->FIndex = I;
  if (Notify)
    endRemoveRows();
  if (FUpdateCount == 0 && FFiltered) {
    CollectShown();
    endResetModel();
  }
}

void TTreeModel::Clear() {
  if (FUpdateCount == 0)
    beginResetModel();
  FRoot->FChildren.clear();
  FRoot->FShown.clear();
  FRoot->FDescendants = 0;
  FFiltered = false;
  if (FUpdateCount == 0)
    endResetModel();
}

void TTreeModel::RowChanged(TTreeNode* aNode) {
  if (FUpdateCount == 0 && !aNode->FHidden)
    emit dataChanged(IndexOf(aNode, 0), IndexOf(aNode, columnCount() - 1));
}

void TTreeModel::SetText(TTreeNode* aNode, int aColumn, const QString& aText) {
  if (aColumn < 0)
    return;
  auto& Texts = aNode->FTexts;
  if (static_cast<int>(Texts.size()) <= aColumn)
    Texts.resize(static_cast<std::size_t>(aColumn) + 1);
  Texts[static_cast<std::size_t>(aColumn)] = aText;
  RowChanged(aNode);
}

void TTreeModel::SetDescription(TTreeNode* aNode, const QString& aText) {
  aNode->FDescription = aText;
  RowChanged(aNode);
}

void TTreeModel::SetImageIndex(TTreeNode* aNode, int aIndex) {
  aNode->FImageIndex = aIndex;
  RowChanged(aNode);
}

void TTreeModel::SetSecondImageIndex(TTreeNode* aNode, int aIndex) {
  aNode->FSecondImageIndex = aIndex;
  if (aIndex >= 0)
    FUsesSecondImage = true;
  RowChanged(aNode);
}

void TTreeModel::SetCheckBox(TTreeNode* aNode, bool aVisible) {
  aNode->FHasCheckBox = aVisible;
  RowChanged(aNode);
}

void TTreeModel::SetChecked(TTreeNode* aNode, bool aChecked) {
  aNode->FChecked = aChecked;
  RowChanged(aNode);
}

int TTreeModel::FlatIndexOf(const TTreeNode* aNode) const {
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

TTreeNode* TTreeModel::NodeAtFlatIndex(int aIndex) const {
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

void TTreeModel::BeginUpdate() {
  if (FUpdateCount++ == 0)
    beginResetModel();
}

void TTreeModel::EndUpdate() {
  if (FUpdateCount > 0 && --FUpdateCount == 0) {
    CollectShown();
    endResetModel();
  }
}

void TTreeModel::SetHiddenRows(const std::vector<char>& aHidden) {
  if (FUpdateCount == 0)
    beginResetModel();
  // Every row in tree order: a row is hidden by its own entry or its parent.
  FFiltered = false;
  std::size_t Flat = 0;
  std::vector<TTreeNode*> Pending;
  for (auto It = FRoot->FChildren.rbegin(); It != FRoot->FChildren.rend(); ++It)
    Pending.push_back(It->get());
  while (!Pending.empty()) {
    TTreeNode* Node = Pending.back();
    Pending.pop_back();
    const bool Own = Flat < aHidden.size() && aHidden[Flat] != 0;
    ++Flat;
    Node->FHidden = Own || (Node->FParent != FRoot.get() && Node->FParent->FHidden);
    FFiltered = FFiltered || Node->FHidden;
    for (auto It = Node->FChildren.rbegin(); It != Node->FChildren.rend(); ++It)
      Pending.push_back(It->get());
  }
  if (FUpdateCount == 0) {
    CollectShown();
    endResetModel();
  }
}

void TTreeModel::CollectShown() {
  // A row added since the last filter is shown; its flag says so already.
  std::vector<TTreeNode*> Pending{FRoot.get()};
  while (!Pending.empty()) {
    TTreeNode* Node = Pending.back();
    Pending.pop_back();
    Node->FShown.clear();
    if (!FFiltered)
      continue;
    for (const auto& Child : Node->FChildren) {
      if (Child->FHidden)
        continue;
      Child->FShownIndex = static_cast<int>(Node->FShown.size());
      Node->FShown.push_back(Child.get());
      if (!Child->FChildren.empty())
        Pending.push_back(Child.get());
    }
  }
}

const TTreeNode* TTreeModel::ChildAt(const TTreeNode* aParent, int aRow) const {
  return FFiltered ? aParent->FShown[static_cast<std::size_t>(aRow)] : aParent->Child(aRow);
}

int TTreeModel::ShownCount(const TTreeNode* aParent) const {
  if (aParent->FHidden)
    return 0;
  return FFiltered ? static_cast<int>(aParent->FShown.size()) : aParent->ChildCount();
}

TTreeNode* TTreeModel::NodeOf(const QModelIndex& aIndex) const {
  return aIndex.isValid() ? static_cast<TTreeNode*>(aIndex.internalPointer()) : FRoot.get();
}

QModelIndex TTreeModel::IndexOf(const TTreeNode* aNode, int aColumn) const {
  if (aNode == nullptr || aNode == FRoot.get() || aNode->FHidden)
    return {};
  return createIndex(FFiltered ? aNode->FShownIndex : aNode->FIndex, aColumn,
                     const_cast<TTreeNode*>(aNode));
}

QModelIndex TTreeModel::index(int aRow, int aColumn, const QModelIndex& aParent) const {
  if (aParent.isValid() && aParent.column() != 0)
    return {};
  const TTreeNode* Parent = NodeOf(aParent);
  if (aRow < 0 || aRow >= ShownCount(Parent) || aColumn < 0 || aColumn >= columnCount())
    return {};
  return createIndex(aRow, aColumn, const_cast<TTreeNode*>(ChildAt(Parent, aRow)));
}

QModelIndex TTreeModel::parent(const QModelIndex& aIndex) const {
  if (!aIndex.isValid())
    return {};
  return IndexOf(NodeOf(aIndex)->FParent);
}

int TTreeModel::rowCount(const QModelIndex& aParent) const {
  if (aParent.column() > 0)
    return 0;
  return ShownCount(NodeOf(aParent));
}

int TTreeModel::columnCount(const QModelIndex& /*aParent*/) const {
  return std::max(1, HeaderCount());
}

QVariant TTreeModel::data(const QModelIndex& aIndex, int aRole) const {
  if (!aIndex.isValid())
    return {};
  const TTreeNode* Node = NodeOf(aIndex);
  switch (aRole) {
  case Qt::DisplayRole:
    return Node->Text(aIndex.column());
  case Qt::DecorationRole:
    if (aIndex.column() == 0) {
      const QIcon Icon = DecorationOf(Node);
      if (!Icon.isNull())
        return Icon;
    }
    return {};
  case Qt::AccessibleDescriptionRole:
  case Qt::ToolTipRole:
    if (aIndex.column() == 0 && !Node->FDescription.isEmpty())
      return Node->FDescription;
    return {};
  case Qt::CheckStateRole:
    if (aIndex.column() == 0 && Node->FHasCheckBox)
      return Node->FChecked ? Qt::Checked : Qt::Unchecked;
    return {};
  default:
    return {};
  }
}

bool TTreeModel::setData(const QModelIndex& aIndex, const QVariant& aValue, int aRole) {
  if (!aIndex.isValid() || aRole != Qt::CheckStateRole || aIndex.column() != 0)
    return false;
  TTreeNode* Node = NodeOf(aIndex);
  if (!Node->FHasCheckBox)
    return false;
  Node->FChecked = aValue.toInt() == Qt::Checked;
  RowChanged(Node);
  emit CheckToggled(Node);
  return true;
}

Qt::ItemFlags TTreeModel::flags(const QModelIndex& aIndex) const {
  if (!aIndex.isValid())
    return Qt::NoItemFlags;
  Qt::ItemFlags Result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (FDragEnabled)
    Result |= Qt::ItemIsDragEnabled;
  if (aIndex.column() == 0 && NodeOf(aIndex)->FHasCheckBox)
    Result |= Qt::ItemIsUserCheckable;
  return Result;
}

QVariant TTreeModel::headerData(int aSection, Qt::Orientation aOrientation, int aRole) const {
  if (aOrientation == Qt::Horizontal && aRole == Qt::DisplayRole && aSection >= 0 &&
      aSection < HeaderCount())
    return FHeaders[aSection];
  return {};
}

} // namespace Kalvoro
