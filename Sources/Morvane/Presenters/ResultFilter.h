// The filter over the results tree's rows, by text and by result, and the
// failed methods among the rows it shows, which Next and Previous Failure
// go to.
#pragma once

#include "ResultRows.h"
#include "RowFilter.h"

#include <QString>

#include <vector>

namespace Kalvoro {

class TResultFilter {
public:
  // The filter box: the text and the results shown (TResultToggle bits).
  void Set(const QString& aText, unsigned aResults);
  const QString& Text() const { return FText; }
  unsigned Results() const { return FResults; }

  // Decides again which of aRows the filter hides (after a change of filter
  // or of the rows).
  void Apply(const std::vector<TResultRow>& aRows);
  // The rows that the filter hides, by flat index; empty: none.
  const std::vector<char>& Hidden() const { return FHidden; }
  // Whether the row at that flat index is one of aRows and shown.
  bool Shown(const std::vector<TResultRow>& aRows, int aRow) const;

  bool AnyShownFailure(const std::vector<TResultRow>& aRows) const;
  // The shown failed method after (before) the row aFrom, going round the
  // tree's end (from the first or last row when aFrom is -1); -1: none.
  int NextFailure(const std::vector<TResultRow>& aRows, int aFrom, bool aForward) const;

private:
  QString FText;
  unsigned FResults = rtAllResults;
  std::vector<char> FHidden;
};

} // namespace Kalvoro
