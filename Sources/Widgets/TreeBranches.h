// The tree's connecting lines, drawn over the style's branch area.
#pragma once

class QModelIndex;
class QPainter;
class QRect;

namespace Kalvoro {

class TTreeView;

// Draws the dotted lines that join the row at aIndex to its parent and its
// siblings into aRect, the row's branch area.
void DrawBranchLines(const TTreeView& aTree, QPainter& aPainter, const QRect& aRect,
                     const QModelIndex& aIndex);

} // namespace Kalvoro
