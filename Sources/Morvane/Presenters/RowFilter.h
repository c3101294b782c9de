// The filter box of a tree as data: the text typed (matched against row
// names, case-insensitive; with '*' or '?' a glob over the whole name,
// otherwise a part of it) and, for the results tree, which results show. It
// decides which of a presenter's rows are hidden; the rows stay as they are.
#pragma once

#include <QString>
#include <QStringView>

#include <functional>
#include <vector>

namespace Kalvoro {

// The results the results tree's toggles show, as bits.
enum TResultToggle : unsigned {
  rtFailed = 1u << 0,
  rtException = 1u << 1,
  rtNotRun = 1u << 2,
  rtSuccess = 1u << 3,
  rtAllResults = rtFailed | rtException | rtNotRun | rtSuccess,
};

class TTextMatcher {
public:
  TTextMatcher() = default;
  explicit TTextMatcher(const QString& aText);

  bool Empty() const { return FText.isEmpty(); }
  // True for every name when empty.
  bool Matches(QStringView aName) const;

private:
  QString FText; // case-folded
  bool FGlob = false;
};

// Which rows a filter hides, by flat index (a row is followed by its
// descendants; aLevel(i) is row i's depth). A row shows when it or one of its
// ancestors matches the text and it passes aPasses, or when one of its
// descendants shows. Returns an empty list when nothing is hidden.
std::vector<char> HiddenRows(int aCount, const std::function<int(int)>& aLevel,
                             const std::function<bool(int)>& aTextMatches,
                             const std::function<bool(int)>& aPasses = {});

} // namespace Kalvoro
