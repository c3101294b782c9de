#include "TreeHelper.h"

#include "RowSelection.h"
#include "TreeView.h"

namespace Kalvoro {

void SaveSelection(const TTreeView& aTree, std::vector<int>& aSelection) {
  aSelection.clear();
  for (const TTreeNode* Node : aTree.SelectedNodes())
    aSelection.push_back(aTree.FlatIndexOf(Node));
}

void RestoreSelection(TTreeView& aTree, const std::vector<int>& aSelection) {
  const TRowSelection Selection = RestoredSelection(aSelection, aTree.TotalCount());
  if (Selection.Current >= 0)
    aTree.SetCurrentNode(aTree.NodeAtFlatIndex(Selection.Current));
  for (int Index : Selection.Rows)
    aTree.SetSelected(aTree.NodeAtFlatIndex(Index), true);
}

} // namespace Kalvoro
