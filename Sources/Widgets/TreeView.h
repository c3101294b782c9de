// A multi-column tree over a TTreeModel of its own: columns with settable
// widths, optional connecting lines, single or multiple selection with a
// current row that outlive suspended updates, hit-testing, drag and drop
// between trees, and double-click, resize and context-menu hooks. The row
// functions forward to the model.
#pragma once

#include "TreeFilter.h"
#include "TreeModel.h"

#include <QTreeView>

#include <functional>
#include <memory>
#include <vector>

class QMenu;

namespace Kalvoro {

class TTreeView : public QTreeView {
  Q_OBJECT

public:
  explicit TTreeView(QWidget* aParent = nullptr);
  ~TTreeView() override;

  // Columns: header captions and widths. A tree without an accessible name
  // takes the first caption as its name.
  void SetColumns(const QStringList& aCaptions);
  int ColumnCount() const { return FModel->HeaderCount(); }
  void SetColumnWidth(int aColumn, int aWidth);
  int ColumnWidth(int aColumn) const { return columnWidth(aColumn); }

  // The images that rows refer to by index. Rows may show two images side by
  // side in the first column; both indexes refer to this one list.
  void SetImages(const QList<QIcon>& aImages);
  const QList<QIcon>& Images() const { return FModel->Images(); }

  void SetMultiSelect(bool aValue);
  bool MultiSelect() const;

  // Dotted lines that connect every row with its parent and its siblings.
  void SetShowLines(bool aValue);
  bool ShowLines() const { return FShowLines; }

  // Rows. aParent null adds a top-level row. Rows are added collapsed.
  TTreeNode* AddChild(TTreeNode* aParent, const QString& aText = {}, TRowObject aObject = {}) {
    return FModel->AddChild(aParent, aText, aObject);
  }
  void DeleteNode(TTreeNode* aNode);
  void Clear();
  int TopLevelCount() const { return FModel->Root()->ChildCount(); }
  TTreeNode* TopLevelNode(int aIndex) const { return FModel->Root()->Child(aIndex); }
  // All rows, at every depth.
  int TotalCount() const { return FModel->TotalCount(); }

  void SetText(TTreeNode* aNode, int aColumn, const QString& aText) {
    FModel->SetText(aNode, aColumn, aText);
  }
  void SetDescription(TTreeNode* aNode, const QString& aText) {
    FModel->SetDescription(aNode, aText);
  }
  void SetImageIndex(TTreeNode* aNode, int aIndex) { FModel->SetImageIndex(aNode, aIndex); }
  void SetSecondImageIndex(TTreeNode* aNode, int aIndex);
  // Shows or hides the row's check box; setting the state here is not a user
  // toggle and notifies nobody.
  void SetCheckBox(TTreeNode* aNode, bool aVisible) { FModel->SetCheckBox(aNode, aVisible); }
  void SetChecked(TTreeNode* aNode, bool aChecked) { FModel->SetChecked(aNode, aChecked); }

  // Flat indexes: a row's position in tree order over all rows, where every row
  // is followed by all its descendants, expanded or not.
  int FlatIndexOf(const TTreeNode* aNode) const { return FModel->FlatIndexOf(aNode); }
  TTreeNode* NodeAtFlatIndex(int aIndex) const { return FModel->NodeAtFlatIndex(aIndex); }

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

  // Filters the rows (TTreeModel::SetHiddenRows: a non-zero entry hides the
  // row at that flat index). The first filter records the selection, the
  // current row and the expanded rows by the objects of their rows; while
  // filtered every shown row is expanded and selected rows that stay shown
  // stay selected; an empty list (or one that hides nothing) ends the filter
  // and brings back what was recorded, also across rebuilds of the rows.
  void SetHiddenRows(const std::vector<char>& aHidden);
  bool Filtered() const { return FFilter.On(); }
  // Forgets the recorded state without restoring it (the rows' objects go).
  void DropFilter() { FFilter.Drop(); }

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

  TTreeModel* Model() const { return FModel; }
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
  void AdjustIconSize();
  bool AcceptsDrag(const QMimeData* aData);
  void ForgetPending(const TTreeNode* aNode);

  TTreeModel* FModel;
  bool FShowLines = false;
  int FUpdateCount = 0;
  std::vector<TTreeNode*> FPendingSelection;
  TTreeNode* FPendingCurrent = nullptr;
  // Applied right after the model's reset, while the layout is still to come.
  std::vector<TTreeNode*> FPendingExpanded;
  bool FPendingExpandAll = false;
  // The state before the filter, by object.
  TFilterMemory FFilter;
  QMenu* FPopupMenu = nullptr;
  std::function<bool(TTreeView*)> FDropAcceptor;
};

// Suspends a tree's updates for its life, so that they resume however a
// rebuild ends.
class TTreeUpdateScope {
public:
  explicit TTreeUpdateScope(TTreeView& aTree) : FTree(aTree) { FTree.BeginUpdate(); }
  ~TTreeUpdateScope() { FTree.EndUpdate(); }
  TTreeUpdateScope(const TTreeUpdateScope&) = delete;
  TTreeUpdateScope& operator=(const TTreeUpdateScope&) = delete;

private:
  TTreeView& FTree;
};

} // namespace Kalvoro
