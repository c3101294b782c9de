// Keeping a tree's selection across a rebuild by flat row index: the position
// of a row in tree order over all rows, expanded or not. The presenters that
// own their rows and the views that keep a tree's selection share this rule.
#pragma once

#include <vector>

namespace Kalvoro {

// Which rows of a tree are selected and which one is current (-1: none), by
// flat index.
struct TRowSelection {
  int Current = -1;
  std::vector<int> Rows;
};

// The selection that a tree of aCount rows takes over from the recorded flat
// indexes of the old one: nothing when it is empty; else the first row when
// nothing was recorded; else the row at each recorded index, the last row for
// an index past the end, and the first of them current.
inline TRowSelection RestoredSelection(const std::vector<int>& aRecorded, int aCount) {
  TRowSelection Result;
  if (aCount <= 0)
    return Result;
  if (aRecorded.empty()) {
    Result.Current = 0;
    Result.Rows.push_back(0);
    return Result;
  }
  Result.Rows.reserve(aRecorded.size());
  for (int Index : aRecorded)
    Result.Rows.push_back(Index >= 0 && Index < aCount ? Index : aCount - 1);
  Result.Current = Result.Rows.front();
  return Result;
}

} // namespace Kalvoro
