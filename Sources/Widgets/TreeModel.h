// The rows of a multi-column tree and the item model over them, built for
// rebuilds of many thousand rows: texts per column, two images per row from one
// image list, a typed object per row, optional check boxes, flat row indexes and
// suspended updates that end in one reset. TTreeView shows it; the model stands
// on its own too.
#pragma once

#include "RowObject.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace Kalvoro {

// The size of a row image, and the gap between a row's two images.
inline constexpr int TreeImageSize = 16;
inline constexpr int TreeImageGap = 2;

// One row. Rows are created and destroyed by their TTreeModel only.
class TTreeNode {
public:
  TTreeNode(const TTreeNode&) = delete;
  TTreeNode& operator=(const TTreeNode&) = delete;

  TTreeNode* Parent() const { return FParent; }
  // Position among the parent's children, from 0.
  int Index() const { return FIndex; }
  int ChildCount() const { return static_cast<int>(FChildren.size()); }
  TTreeNode* Child(int aIndex) const { return FChildren[static_cast<std::size_t>(aIndex)].get(); }
  // Number of rows below this one, at every depth.
  int DescendantCount() const { return FDescendants; }
  // 0 for a top-level row.
  int Level() const;

  QString Text(int aColumn) const;
  // What assistive technology reads besides the texts, and the row's tool
  // tip (empty: nothing).
  const QString& Description() const { return FDescription; }
  int ImageIndex() const { return FImageIndex; }
  int SecondImageIndex() const { return FSecondImageIndex; }
  bool HasCheckBox() const { return FHasCheckBox; }
  bool Checked() const { return FChecked; }
  // Hidden by the model's filter (SetHiddenRows), itself or with its parent.
  bool Hidden() const { return FHidden; }

  // The object the row stands for (not owned).
  const TRowObject& Object() const { return FObject; }
  template <class T> T* As() const { return FObject.As<T>(); }

private:
  friend class TTreeModel;
  TTreeNode() = default;

  TTreeNode* FParent = nullptr;
  int FIndex = 0;
  int FDescendants = 0;
  std::vector<std::unique_ptr<TTreeNode>> FChildren;
  // While the model filters: the children shown, and this row's place among
  // its parent's shown children.
  std::vector<TTreeNode*> FShown;
  int FShownIndex = 0;
  bool FHidden = false;
  std::vector<QString> FTexts;
  QString FDescription;
  int FImageIndex = -1;
  int FSecondImageIndex = -1;
  bool FHasCheckBox = false;
  bool FChecked = false;
  TRowObject FObject;
};

class TTreeModel : public QAbstractItemModel {
  Q_OBJECT

public:
  explicit TTreeModel(QObject* aParent = nullptr);
  ~TTreeModel() override;

  // The header captions; there is always at least one column.
  void SetHeaders(const QStringList& aHeaders);
  int HeaderCount() const { return static_cast<int>(FHeaders.size()); }

  // The images that rows refer to by index; a row with a second image shows
  // both side by side in the first column.
  void SetImages(const QList<QIcon>& aImages);
  const QList<QIcon>& Images() const { return FImages; }
  // Whether any row has had a second image (the image column is wider then).
  bool UsesSecondImage() const { return FUsesSecondImage; }
  // The first column's decoration of a row: its image, or its pair of images.
  QIcon DecorationOf(const TTreeNode* aNode) const;

  // Whether rows can be dragged (their flags say so).
  void SetDragEnabled(bool aValue) { FDragEnabled = aValue; }

  // Rows. aParent null adds a top-level row.
  TTreeNode* AddChild(TTreeNode* aParent, const QString& aText = {}, TRowObject aObject = {});
  void DeleteNode(TTreeNode* aNode);
  void Clear();
  TTreeNode* Root() const { return FRoot.get(); }
  // All rows, at every depth.
  int TotalCount() const { return FRoot->FDescendants; }

  void SetText(TTreeNode* aNode, int aColumn, const QString& aText);
  void SetDescription(TTreeNode* aNode, const QString& aText);
  void SetImageIndex(TTreeNode* aNode, int aIndex);
  void SetSecondImageIndex(TTreeNode* aNode, int aIndex);
  // Setting check boxes here is no user toggle and is not reported.
  void SetCheckBox(TTreeNode* aNode, bool aVisible);
  void SetChecked(TTreeNode* aNode, bool aChecked);

  // Flat indexes: a row's position in tree order over all rows, where every row
  // is followed by all its descendants.
  int FlatIndexOf(const TTreeNode* aNode) const;
  TTreeNode* NodeAtFlatIndex(int aIndex) const;

  // Hides rows by flat index (a non-zero entry hides that row and its
  // descendants); an empty list shows every row. The item model then has only
  // the shown rows, while the rows, their flat indexes and their objects stay
  // as they are. Resets the model unless an update is under way.
  void SetHiddenRows(const std::vector<char>& aHidden);
  bool Filtered() const { return FFiltered; }

  // Suspends row notifications; calls nest, and the last end resets the model
  // once.
  void BeginUpdate();
  void EndUpdate();
  bool Updating() const { return FUpdateCount > 0; }

  // The row of an index (the root for an invalid one), and the index of a row
  // (invalid for the root or null).
  TTreeNode* NodeOf(const QModelIndex& aIndex) const;
  QModelIndex IndexOf(const TTreeNode* aNode, int aColumn = 0) const;

  QModelIndex index(int aRow, int aColumn, const QModelIndex& aParent = {}) const override;
  QModelIndex parent(const QModelIndex& aIndex) const override;
  int rowCount(const QModelIndex& aParent = {}) const override;
  int columnCount(const QModelIndex& aParent = {}) const override;
  QVariant data(const QModelIndex& aIndex, int aRole) const override;
  // Only the check state is settable: a user's click or key on a check box.
  bool setData(const QModelIndex& aIndex, const QVariant& aValue, int aRole) override;
  Qt::ItemFlags flags(const QModelIndex& aIndex) const override;
  QVariant headerData(int aSection, Qt::Orientation aOrientation, int aRole) const override;

signals:
  // A check box toggled through setData (never by SetChecked).
  void CheckToggled(Kalvoro::TTreeNode* aNode);

private:
  void RowChanged(TTreeNode* aNode);
  static void UpdateCounts(TTreeNode* aFrom, int aDelta);
  // Fills each row's shown children from the hidden flags.
  void CollectShown();
  const TTreeNode* ChildAt(const TTreeNode* aParent, int aRow) const;
  int ShownCount(const TTreeNode* aParent) const;

  std::unique_ptr<TTreeNode> FRoot;
  QStringList FHeaders;
  QList<QIcon> FImages;
  mutable QHash<quint64, QIcon> FPairIcons;
  bool FUsesSecondImage = false;
  bool FDragEnabled = false;
  int FUpdateCount = 0;
  bool FFiltered = false;
};

} // namespace Kalvoro
