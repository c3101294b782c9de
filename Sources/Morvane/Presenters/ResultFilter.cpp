#include "ResultFilter.h"

#include "RowFilter.h"

namespace Kalvoro {

namespace {

bool IsFailedMethod(const TResultRow& aRow) {
  return aRow.Kind == rrkMethod &&
         (aRow.StatusImage == rtiFailure || aRow.StatusImage == rtiException);
}

} // namespace

void TResultFilter::Set(const QString& aText, unsigned aResults) {
  FText = aText;
  FResults = aResults & rtAllResults;
}

void TResultFilter::Apply(const std::vector<TResultRow>& aRows) {
  if (FText.trimmed().isEmpty() && FResults == rtAllResults) {
    FHidden.clear();
    return;
  }
  const TTextMatcher Text(FText);
  const auto Toggle = [](TResultTreeImage aImage) -> unsigned {
    switch (aImage) {
    case rtiSuccess:
      return rtSuccess;
    case rtiFailure:
      return rtFailed;
    case rtiException:
      return rtException;
    default:
      return rtNotRun;
    }
  };
  FHidden = Kalvoro::HiddenRows(
      static_cast<int>(aRows.size()),
      [&aRows](int aRow) { return aRows[static_cast<std::size_t>(aRow)].Level(); },
      [&aRows, &Text](int aRow) {
        return Text.Matches(aRows[static_cast<std::size_t>(aRow)].Text);
      },
      [this, &aRows, &Toggle](int aRow) {
        return (Toggle(aRows[static_cast<std::size_t>(aRow)].StatusImage) & FResults) != 0;
      });
}

bool TResultFilter::Shown(const std::vector<TResultRow>& aRows, int aRow) const {
  if (aRow < 0 || static_cast<std::size_t>(aRow) >= aRows.size())
    return false;
  return FHidden.empty() || FHidden[static_cast<std::size_t>(aRow)] == 0;
}

bool TResultFilter::AnyShownFailure(const std::vector<TResultRow>& aRows) const {
  for (std::size_t I = 0; I < aRows.size(); ++I)
    if (IsFailedMethod(aRows[I]) && Shown(aRows, static_cast<int>(I)))
      return true;
  return false;
}

int TResultFilter::NextFailure(const std::vector<TResultRow>& aRows, int aFrom,
                               bool aForward) const {
  const int Count = static_cast<int>(aRows.size());
  if (Count == 0)
    return -1;
  const int Step = aForward ? 1 : -1;
  // From the row after (before) the current one, once round the tree.
  int Row = aFrom < 0 ? (aForward ? 0 : Count - 1) : (aFrom + Step + Count) % Count;
  for (int Seen = 0; Seen < Count; ++Seen, Row = (Row + Step + Count) % Count)
    if (IsFailedMethod(aRows[static_cast<std::size_t>(Row)]) && Shown(aRows, Row))
      return Row;
  return -1;
}

} // namespace Kalvoro
