#include "TreeFilter.h"

#include "TreeView.h"

#include <algorithm>
#include <unordered_map>

namespace Kalvoro {

namespace {

std::vector<TRowObject> ObjectsOf(const std::vector<TTreeNode*>& aNodes) {
  std::vector<TRowObject> Result;
  for (const TTreeNode* Node : aNodes)
    if (!Node->Object().IsNull())
      Result.push_back(Node->Object());
  return Result;
}

// The rows whose objects are among aObjects, in tree order.
std::vector<TTreeNode*> NodesOf(const TTreeView& aTree, const std::vector<TRowObject>& aObjects) {
  std::vector<TTreeNode*> Result;
  std::unordered_multimap<const void*, const TRowObject*> Wanted;
  for (const TRowObject& Object : aObjects)
    if (!Object.IsNull())
      Wanted.emplace(Object.Address(), &Object);
  if (Wanted.empty())
    return Result;
  std::vector<TTreeNode*> Pending;
  for (int I = aTree.TopLevelCount() - 1; I >= 0; --I)
    Pending.push_back(aTree.TopLevelNode(I));
  while (!Pending.empty()) {
    TTreeNode* Node = Pending.back();
    Pending.pop_back();
    const auto [First, Last] = Wanted.equal_range(Node->Object().Address());
    if (std::any_of(First, Last,
                    [Node](const auto& aEntry) { return *aEntry.second == Node->Object(); }))
      Result.push_back(Node);
    for (int I = Node->ChildCount() - 1; I >= 0; --I)
      Pending.push_back(Node->Child(I));
  }
  return Result;
}

} // namespace

void TFilterMemory::Remember(const TTreeView& aTree) {
  FSelection = ObjectsOf(aTree.SelectedNodes());
  FCurrent = {};
  if (TTreeNode* Current = aTree.CurrentNode())
    FCurrent = Current->Object();
  std::vector<TTreeNode*> Expanded;
  std::vector<TTreeNode*> Pending;
  for (int I = 0; I < aTree.TopLevelCount(); ++I)
    Pending.push_back(aTree.TopLevelNode(I));
  while (!Pending.empty()) {
    TTreeNode* Node = Pending.back();
    Pending.pop_back();
    if (Node->ChildCount() == 0 || !aTree.isExpanded(aTree.IndexOf(Node)))
      continue;
    Expanded.push_back(Node);
    for (int I = 0; I < Node->ChildCount(); ++I)
      Pending.push_back(Node->Child(I));
  }
  FExpanded = ObjectsOf(Expanded);
  FOn = true;
}

TFilterMemory::TRestored TFilterMemory::Restore(const TTreeView& aTree) {
  TRestored Restored;
  Restored.Selection = NodesOf(aTree, FSelection);
  const std::vector<TTreeNode*> Current = NodesOf(aTree, {FCurrent});
  Restored.Current = Current.empty() ? nullptr : Current.front();
  Restored.Expanded = NodesOf(aTree, FExpanded);
  Drop();
  return Restored;
}

void TFilterMemory::Drop() {
  FOn = false;
  FSelection.clear();
  FExpanded.clear();
  FCurrent = {};
}

} // namespace Kalvoro
