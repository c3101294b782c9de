#include "TreeHelper.h"

#include "TreeView.h"

namespace Kalvoro {

void SaveSelection(const TTreeView& aTree, std::vector<int>& aSelection) {
  aSelection.clear();
  for (const TTreeNode* Node : aTree.SelectedNodes())
    aSelection.push_back(aTree.FlatIndexOf(Node));
}

void RestoreSelection(TTreeView& aTree, const std::vector<int>& aSelection) {
  const int Count = aTree.TotalCount();
  if (Count == 0)
    return;
  if (aSelection.empty()) {
    TTreeNode* First = aTree.NodeAtFlatIndex(0);
    aTree.SetCurrentNode(First);
    aTree.SetSelected(First, true);
    return;
  }
  bool First = true;
  for (int Index : aSelection) {
    TTreeNode* Node = aTree.NodeAtFlatIndex(Index >= 0 && Index < Count ? Index : Count - 1);
    if (First) {
      aTree.SetCurrentNode(Node);
      First = false;
    }
    aTree.SetSelected(Node, true);
  }
}

} // namespace Kalvoro
