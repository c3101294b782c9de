// What a tree had selected, current and expanded before a filter hid rows,
// kept by the objects of the rows, so that it comes back when the filter
// ends, also across rebuilds of the rows.
#pragma once

#include "RowObject.h"

#include <vector>

namespace Kalvoro {

class TTreeNode;
class TTreeView;

class TFilterMemory {
public:
  // Whether a filter is on (from Remember to Restore or Drop).
  bool On() const { return FOn; }
  // Takes the tree's selected, current and expanded rows by their objects.
  void Remember(const TTreeView& aTree);

  // The rows of the tree as it is now that stand for what was remembered.
  struct TRestored {
    std::vector<TTreeNode*> Selection;
    TTreeNode* Current = nullptr;
    std::vector<TTreeNode*> Expanded;
  };
  // Finds them, in tree order, and ends the filter.
  TRestored Restore(const TTreeView& aTree);
  // Ends the filter without finding anything (the rows' objects go).
  void Drop();

private:
  bool FOn = false;
  std::vector<TRowObject> FSelection;
  std::vector<TRowObject> FExpanded;
  TRowObject FCurrent;
};

} // namespace Kalvoro
