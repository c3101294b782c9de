#include "TreeBranches.h"

#include "TreeView.h"

#include <QPainter>

#include <algorithm>

namespace Kalvoro {

void DrawBranchLines(const TTreeView& aTree, QPainter& aPainter, const QRect& aRect,
                     const QModelIndex& aIndex) {
  const TTreeNode* Node = aTree.NodeOf(aIndex);
  if (Node == nullptr)
    return;
  const int Indent = aTree.indentation();
  if (Indent <= 0)
    return;
  const bool Selected = aTree.selectionModel()->isSelected(aIndex);
  QPen Pen(aTree.palette().color(Selected ? QPalette::HighlightedText : QPalette::Mid), 1,
           Qt::DotLine);
  aPainter.save();
  aPainter.setRenderHint(QPainter::Antialiasing, false);
  aPainter.setPen(Pen);
  const int Top = aRect.top();
  const int Bottom = aRect.bottom();
  const int MidY = aRect.top() + aRect.height() / 2;
  // Each row's own cell is the last one of the branch area; its ancestors'
  // cells lie to the left, one indentation each. Without decorated roots the
  // top-level rows have no cell.
  const TTreeNode* Root = aTree.Model()->Root();
  const bool Rtl = aTree.isRightToLeft();
  const auto CellMid = [&](int aStepsLeft) {
    const int Left =
        Rtl ? aRect.left() + aStepsLeft * Indent : aRect.right() + 1 - (aStepsLeft + 1) * Indent;
    return Left + Indent / 2;
  };
  const auto HasNextSibling = [](const TTreeNode* aNode) {
    return aNode->Index() + 1 < aNode->Parent()->ChildCount();
  };
  if (Node->Parent() != Root || aTree.rootIsDecorated()) {
    const int X = CellMid(0);
    // Room around the expand button of a row with children.
    const int Gap = Node->ChildCount() > 0 ? std::min(6, Indent / 2) : 0;
    const bool LineAbove = Node->Parent() != Root || Node->Index() > 0;
    if (LineAbove)
      aPainter.drawLine(X, Top, X, MidY - Gap);
    if (HasNextSibling(Node))
      aPainter.drawLine(X, MidY + Gap, X, Bottom);
    const int EndX = Rtl ? X - Indent / 2 : X + Indent / 2;
    aPainter.drawLine(Rtl ? X - Gap : X + Gap, MidY, EndX, MidY);
  }
  int Steps = 1;
  for (const TTreeNode* Ancestor = Node->Parent(); Ancestor != Root;
       Ancestor = Ancestor->Parent(), ++Steps) {
    if (Ancestor->Parent() == Root && !aTree.rootIsDecorated())
      break;
    if (HasNextSibling(Ancestor)) {
      const int X = CellMid(Steps);
      aPainter.drawLine(X, Top, X, Bottom);
    }
  }
  aPainter.restore();
}

} // namespace Kalvoro
