// The tree view's filter: hiding rows while keeping what the user had
// selected and expanded, by the objects of the rows.
#include "TreeView.h"

#include <algorithm>
#include <unordered_map>

namespace Kalvoro {

void TTreeView::SetHiddenRows(const std::vector<char>& aHidden) {
  const bool Hides = std::any_of(aHidden.begin(), aHidden.end(), [](char aHide) { return aHide; });
  if (!Hides && !FFilterOn)
    return;
  if (Hides && !FFilterOn) {
    FUnfilteredSelection = ObjectsOf(SelectedNodes());
    FUnfilteredCurrent = {};
    if (TTreeNode* Current = CurrentNode())
      FUnfilteredCurrent = Current->Object();
    std::vector<TTreeNode*> Expanded;
    std::vector<TTreeNode*> Pending;
    for (int I = 0; I < TopLevelCount(); ++I)
      Pending.push_back(TopLevelNode(I));
    while (!Pending.empty()) {
      TTreeNode* Node = Pending.back();
      Pending.pop_back();
      if (Node->ChildCount() == 0 || !isExpanded(IndexOf(Node)))
        continue;
      Expanded.push_back(Node);
      for (int I = 0; I < Node->ChildCount(); ++I)
        Pending.push_back(Node->Child(I));
    }
    FUnfilteredExpanded = ObjectsOf(Expanded);
    FFilterOn = true;
  }
  BeginUpdate();
  FModel->SetHiddenRows(aHidden);
  if (Hides) {
    FPendingExpandAll = true;
  } else {
    FPendingSelection = NodesOf(FUnfilteredSelection);
    const std::vector<TTreeNode*> Current = NodesOf({FUnfilteredCurrent});
    FPendingCurrent = Current.empty() ? nullptr : Current.front();
    FPendingExpanded = NodesOf(FUnfilteredExpanded);
    DropFilter();
  }
  EndUpdate();
}

void TTreeView::DropFilter() {
  FFilterOn = false;
  FUnfilteredSelection.clear();
  FUnfilteredExpanded.clear();
  FUnfilteredCurrent = {};
}

std::vector<TRowObject> TTreeView::ObjectsOf(const std::vector<TTreeNode*>& aNodes) {
  std::vector<TRowObject> Result;
  for (const TTreeNode* Node : aNodes)
    if (!Node->Object().IsNull())
      Result.push_back(Node->Object());
  return Result;
}

std::vector<TTreeNode*> TTreeView::NodesOf(const std::vector<TRowObject>& aObjects) const {
  std::vector<TTreeNode*> Result;
  std::unordered_multimap<const void*, const TRowObject*> Wanted;
  for (const TRowObject& Object : aObjects)
    if (!Object.IsNull())
      Wanted.emplace(Object.Address(), &Object);
  if (Wanted.empty())
    return Result;
  std::vector<TTreeNode*> Pending;
  for (int I = TopLevelCount() - 1; I >= 0; --I)
    Pending.push_back(TopLevelNode(I));
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

} // namespace Kalvoro
