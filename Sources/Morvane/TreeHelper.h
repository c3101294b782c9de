// Keeping a tree's selection across a rebuild, by flat row index: the position
// of a row in tree order over all rows, expanded or not.
#pragma once

#include <vector>

namespace Kalvoro {

class TTreeView;

// Empties aSelection, then records the flat index of every selected row in the
// tree's selection order.
void SaveSelection(const TTreeView& aTree, std::vector<int>& aSelection);

// Selects rows by recorded flat index, as RestoredSelection (RowSelection.h)
// says.
void RestoreSelection(TTreeView& aTree, const std::vector<int>& aSelection);

} // namespace Kalvoro
