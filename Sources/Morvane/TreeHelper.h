// Filling a tree from a presenter's rows, and keeping its selection across a
// rebuild by flat row index: the position of a row in tree order over all
// rows, expanded or not.
#pragma once

#include <cstddef>
#include <vector>

namespace Kalvoro {

class TTreeNode;
class TTreeView;

// Adds a node for each row. The rows come in tree order, each telling its
// level (Level(), 0 at the top): a row's parent is the last row one level up.
// aAdd(aParent, aRow) adds the row's node under aParent (null: at the top)
// and returns it.
template <typename TRows, typename TAdd> void AddRowNodes(const TRows& aRows, TAdd aAdd) {
  std::vector<TTreeNode*> Parents;
  for (const auto& Row : aRows) {
    const auto Level = static_cast<std::size_t>(Row.Level());
    Parents.resize(Level + 1);
    Parents[Level] = aAdd(Level == 0 ? nullptr : Parents[Level - 1], Row);
  }
}

// Empties aSelection, then records the flat index of every selected row in the
// tree's selection order.
void SaveSelection(const TTreeView& aTree, std::vector<int>& aSelection);

// Selects rows by recorded flat index, as RestoredSelection (RowSelection.h)
// says.
void RestoreSelection(TTreeView& aTree, const std::vector<int>& aSelection);

} // namespace Kalvoro
