#include "ResultTimes.h"

#include <algorithm>
#include <cmath>

namespace Kalvoro {

namespace {

// A row and its descendants: [First, First + Size) in tree order.
struct TBlock {
  std::size_t First;
  std::size_t Size;
};

// The blocks of the rows one level below aLevel from aFirst up to the next
// row at aLevel or above (or aEnd).
std::vector<TBlock> Children(const std::vector<TResultRow>& aRows, std::size_t aFirst,
                             std::size_t aEnd) {
  std::vector<TBlock> Result;
  for (std::size_t I = aFirst; I < aEnd;) {
    std::size_t Next = I + 1;
    while (Next < aEnd && aRows[Next].Level() > aRows[I].Level())
      ++Next;
    Result.push_back({I, Next - I});
    I = Next;
  }
  return Result;
}

void AppendSorted(const std::vector<TResultRow>& aRows, std::size_t aFirst, std::size_t aEnd,
                  std::vector<TResultRow>& aResult) {
  std::vector<TBlock> Blocks = Children(aRows, aFirst, aEnd);
  std::stable_sort(Blocks.begin(), Blocks.end(), [&](const TBlock& aLeft, const TBlock& aRight) {
    return aRows[aLeft.First].Milliseconds > aRows[aRight.First].Milliseconds;
  });
  for (const TBlock& Block : Blocks) {
    aResult.push_back(aRows[Block.First]);
    AppendSorted(aRows, Block.First + 1, Block.First + Block.Size, aResult);
  }
}

} // namespace

QString DurationText(double aMilliseconds) {
  if (aMilliseconds < 0)
    return {};
  // Each unit from where its rounded text no longer fits the one below.
  if (aMilliseconds < 0.995)
    return QStringLiteral("%1 ms").arg(aMilliseconds, 0, 'f', 2);
  if (aMilliseconds < 9.95)
    return QStringLiteral("%1 ms").arg(aMilliseconds, 0, 'f', 1);
  if (aMilliseconds < 999.5)
    return QStringLiteral("%1 ms").arg(std::lround(aMilliseconds));
  if (aMilliseconds < 59995)
    return QStringLiteral("%1 s").arg(aMilliseconds / 1000, 0, 'f', 2);
  const long Seconds = std::lround(aMilliseconds / 1000);
  return QStringLiteral("%1 min %2 s").arg(Seconds / 60).arg(Seconds % 60, 2, 10, QLatin1Char('0'));
}

void FillDurations(std::vector<TResultRow>& aRows,
                   const std::function<double(const TUnitTestMethod*)>& aMethodTime) {
  // The open rows above the current one: a scenario and a unit test.
  TResultRow* Open[2] = {nullptr, nullptr};
  const auto Add = [](TResultRow* aRow, double aTime) {
    if (aRow != nullptr && aTime >= 0)
      aRow->Milliseconds = std::max(aRow->Milliseconds, 0.0) + aTime;
  };
  for (TResultRow& Row : aRows) {
    Row.Milliseconds = -1;
    if (Row.Kind == rrkMethod) {
      Row.Milliseconds = aMethodTime(Row.Method);
      Add(Open[0], Row.Milliseconds);
      Add(Open[1], Row.Milliseconds);
    } else {
      Open[Row.Level()] = &Row;
      if (Row.Kind == rrkScenario)
        Open[1] = nullptr;
    }
  }
  for (TResultRow& Row : aRows)
    Row.Duration = DurationText(Row.Milliseconds);
}

std::vector<TResultRow> SortedByDuration(const std::vector<TResultRow>& aRows) {
  std::vector<TResultRow> Result;
  Result.reserve(aRows.size());
  AppendSorted(aRows, 0, aRows.size(), Result);
  return Result;
}

} // namespace Kalvoro
