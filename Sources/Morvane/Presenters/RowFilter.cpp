#include "RowFilter.h"

#include <algorithm>

namespace Kalvoro {

namespace {

// aGlob (case-folded) against the whole of aText: '*' any run, '?' one
// character. Backtracks to the last '*' only, so it stays linear in practice.
bool GlobMatches(QStringView aGlob, QStringView aText) {
  qsizetype G = 0;
  qsizetype T = 0;
  qsizetype Star = -1;
  qsizetype Resume = 0;
  while (T < aText.size()) {
    if (G < aGlob.size() && aGlob[G] == u'*') {
      Star = G++;
      Resume = T;
    } else if (G < aGlob.size() && (aGlob[G] == u'?' || aGlob[G] == aText[T].toCaseFolded())) {
      ++G;
      ++T;
    } else if (Star >= 0) {
      G = Star + 1;
      T = ++Resume;
    } else {
      return false;
    }
  }
  while (G < aGlob.size() && aGlob[G] == u'*')
    ++G;
  return G == aGlob.size();
}

} // namespace

TTextMatcher::TTextMatcher(const QString& aText)
    : FText(aText.trimmed().toCaseFolded()), FGlob(FText.contains(u'*') || FText.contains(u'?')) {}

bool TTextMatcher::Matches(QStringView aName) const {
  if (FText.isEmpty())
    return true;
  if (FGlob)
    return GlobMatches(FText, aName);
  return aName.contains(FText, Qt::CaseInsensitive);
}

std::vector<char> HiddenRows(int aCount, const std::function<int(int)>& aLevel,
                             const std::function<bool(int)>& aTextMatches,
                             const std::function<bool(int)>& aPasses) {
  std::vector<char> Hidden(static_cast<std::size_t>(std::max(aCount, 0)), 1);
  // The open ancestors of the row at hand, by level, and whether the text
  // matched one of them or the row itself.
  std::vector<int> Ancestors;
  std::vector<char> TextHit;
  bool Any = false;
  for (int Row = 0; Row < aCount; ++Row) {
    const auto Level = static_cast<std::size_t>(std::max(aLevel(Row), 0));
    Ancestors.resize(std::min(Level, Ancestors.size()));
    TextHit.resize(Ancestors.size());
    const bool Hit = (!TextHit.empty() && TextHit.back()) || aTextMatches(Row);
    if (Hit && (!aPasses || aPasses(Row))) {
      Hidden[static_cast<std::size_t>(Row)] = 0;
      for (auto It = Ancestors.rbegin();
           It != Ancestors.rend() && Hidden[static_cast<std::size_t>(*It)]; ++It)
        Hidden[static_cast<std::size_t>(*It)] = 0;
    } else {
      Any = true;
    }
    Ancestors.push_back(Row);
    TextHit.push_back(Hit);
  }
  // A row that was hidden may have been shown by a descendant since.
  if (!Any || std::none_of(Hidden.begin(), Hidden.end(), [](char aHide) { return aHide; }))
    Hidden.clear();
  return Hidden;
}

} // namespace Kalvoro
