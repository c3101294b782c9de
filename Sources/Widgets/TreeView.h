// A multi-column tree over a model of its own, built for rebuilds of many
// thousand rows: columns with settable widths, texts per column, two images per
// row, a carried object per row, optional check boxes and connecting lines,
// single or multiple selection with a current row, flat row indexes, suspended
// updates, hit-testing, drag and drop between trees, and double-click, resize
// and context-menu hooks.
#pragma once

#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTreeView>

#include <functional>
#include <memory>
#include <vector>

class QMenu;

namespace Kalvoro {

class TTreeModel;
class TTreeView;

// One row. Rows are created and destroyed by their TTreeView only.
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
  int ImageIndex() const { return FImageIndex; }
  int SecondImageIndex() const { return FSecondImageIndex; }
  bool HasCheckBox() const { return FHasCheckBox; }
  bool Checked() const { return FChecked; }

  // The object the row stands for (not owned), and a kind tag that the owner of
  // the tree defines.
  void* Data() const { return FData; }
  int Kind() const { return FKind; }
  template <class T> T* DataAs() const { return static_cast<T*>(FData); }

private:
  friend class TTreeView;
  friend class TTreeModel;
  TTreeNode() = default;

  TTreeNode* FParent = nullptr;
  int FIndex = 0;
  int FDescendants = 0;
  std::vector<std::unique_ptr<TTreeNode>> FChildren;
  std::vector<QString> FTexts;
  int FImageIndex = -1;
  int FSecondImageIndex = -1;
  bool FHasCheckBox = false;
  bool FChecked = false;
  void* FData = nullptr;
  int FKind = 0;
};

class TTreeView : public QTreeView {
  Q_OBJECT

public:
  explicit TTreeView(QWidget* aParent = nullptr);
  ~TTreeView() override;

  // Columns: header captions and widths.
  void SetColumns(const QStringList& aCaptions);
  int ColumnCount() const;
  void SetColumnWidth(int aColumn, int aWidth);
  int ColumnWidth(int aColumn) const { return columnWidth(aColumn); }

  // The images that rows refer to by index. Rows may show two images side by
  // side in the first column; both indexes refer to this one list.
  void SetImages(const QList<QIcon>& aImages);
  const QList<QIcon>& Images() const { return FImages; }

  void SetMultiSelect(bool aValue);
  bool MultiSelect() const;

  // Dotted lines that connect every row with its parent and its siblings.
  void SetShowLines(bool aValue);
  bool ShowLines() const { return FShowLines; }

  // Rows. aParent null adds a top-level row. Rows are added collapsed.
  TTreeNode* AddChild(TTreeNode* aParent, const QString& aText = {}, void* aData = nullptr,
                      int aKind = 0);
  void DeleteNode(TTreeNode* aNode);
  void Clear();
  int TopLevelCount() const { return static_cast<int>(FRoot->FChildren.size()); }
  TTreeNode* TopLevelNode(int aIndex) const { return FRoot->Child(aIndex); }
  // All rows, at every depth.
  int TotalCount() const { return FRoot->FDescendants; }

  void SetText(TTreeNode* aNode, int aColumn, const QString& aText);
  void SetImageIndex(TTreeNode* aNode, int aIndex);
  void SetSecondImageIndex(TTreeNode* aNode, int aIndex);
  // Shows or hides the row's check box; setting the state here is not a user
  // toggle and notifies nobody.
  void SetCheckBox(TTreeNode* aNode, bool aVisible);
  void SetChecked(TTreeNode* aNode, bool aChecked);

  // Flat indexes: a row's position in tree order over all rows, where every row
  // is followed by all its descendants, expanded or not.
  int FlatIndexOf(const TTreeNode* aNode) const;
  TTreeNode* NodeAtFlatIndex(int aIndex) const;

  // Selection. Selected rows come in tree order.
  std::vector<TTreeNode*> SelectedNodes() const;
  int SelectedCount() const;
  bool IsSelected(const TTreeNode* aNode) const;
  void SetSelected(TTreeNode* aNode, bool aSelected);
  void ClearSelection();
  // The current (focused) row, or null.
  TTreeNode* CurrentNode() const;
  // Makes the row current without changing the selection; null clears it.
  void SetCurrentNode(TTreeNode* aNode);

  // Suspends repainting and row notifications; calls nest. While suspended,
  // selection and current row are kept by the tree and applied at the end.
  void BeginUpdate();
  void EndUpdate();
  bool Updating() const { return FUpdateCount > 0; }

  void FullExpand();
  void Expand(TTreeNode* aNode, bool aExpanded = true);
  bool IsExpanded(const TTreeNode* aNode) const;

  // Hit-testing in viewport coordinates; null outside every row.
  TTreeNode* NodeAt(const QPoint& aViewportPos) const;
  // The viewport rectangle of a visible row (empty when it is not visible).
  QRect NodeRect(const TTreeNode* aNode) const;

  // Context menu shown on a right click (not owned).
  void SetPopupMenu(QMenu* aMenu) { FPopupMenu = aMenu; }
  QMenu* PopupMenu() const { return FPopupMenu; }

  // Drag and drop between trees. Rows can be dragged out when dragging is
  // enabled; a drop is accepted when the acceptor says yes for the source tree.
  void SetRowDragEnabled(bool aValue);
  void SetDropAcceptor(std::function<bool(TTreeView* aSource)> aAcceptor);
  // The MIME type of dragged rows, and the tree that a drag came from (null
  // when it did not come from a live tree of this program).
  static QString DragMimeType();
  static TTreeView* DragSource(const QMimeData* aData);

  // Makes the index of a row (for item-view APIs and tests).
  QModelIndex IndexOf(const TTreeNode* aNode, int aColumn = 0) const;
  TTreeNode* NodeOf(const QModelIndex& aIndex) const;

signals:
  void NodeDoubleClicked(Kalvoro::TTreeNode* aNode);
  // A check box toggled by the user (never by SetChecked).
  void CheckToggled(Kalvoro::TTreeNode* aNode);
  void Resized();
  void CurrentNodeChanged(Kalvoro::TTreeNode* aNode);
  void DragDropped(Kalvoro::TTreeView* aSource, Kalvoro::TTreeNode* aTarget);

protected:
  void resizeEvent(QResizeEvent* aEvent) override;
  void mouseDoubleClickEvent(QMouseEvent* aEvent) override;
  void contextMenuEvent(QContextMenuEvent* aEvent) override;
  void startDrag(Qt::DropActions aSupportedActions) override;
  void dragEnterEvent(QDragEnterEvent* aEvent) override;
  void dragMoveEvent(QDragMoveEvent* aEvent) override;
  void dropEvent(QDropEvent* aEvent) override;
  void currentChanged(const QModelIndex& aCurrent, const QModelIndex& aPrevious) override;
  void drawBranches(QPainter* aPainter, const QRect& aRect,
                    const QModelIndex& aIndex) const override;

private:
  friend class TTreeModel;
  void AdjustIconSize();
  bool AcceptsDrag(const QMimeData* aData);
  void UpdateCounts(TTreeNode* aFrom, int aDelta);
  void ForgetPending(const TTreeNode* aNode);
  QIcon DecorationOf(const TTreeNode* aNode) const;
  void NotifyCheckToggled(TTreeNode* aNode);

  TTreeModel* FModel;
  std::unique_ptr<TTreeNode> FRoot;
  QList<QIcon> FImages;
  mutable QHash<quint64, QIcon> FPairIcons;
  bool FUsesSecondImage = false;
  bool FShowLines = false;
  int FUpdateCount = 0;
  std::vector<TTreeNode*> FPendingSelection;
  TTreeNode* FPendingCurrent = nullptr;
  QMenu* FPopupMenu = nullptr;
  std::function<bool(TTreeView*)> FDropAcceptor;
};

} // namespace Kalvoro
