// The Duration column of the results tree: a method's time as its JUnit
// report counts it (from the start of its Init to the end of its Exit), a
// unit test's and a scenario's as the sum of what ran below them, in units a
// reader takes in at a glance; and the tree's order by it, slowest first
// among the rows of each level.
#pragma once

#include "ResultRows.h"

#include <QString>

#include <functional>
#include <vector>

namespace Kalvoro {

// "0.42 ms", "3.5 ms", "120 ms", "2.35 s", "3 min 05 s"; empty for a
// negative time (not run).
QString DurationText(double aMilliseconds);

// Sets each row's Milliseconds and Duration: a method's from aMethodTime
// (negative: it did not run), a unit test's and a scenario's as the sum of
// their rows that ran (negative when none did).
void FillDurations(std::vector<TResultRow>& aRows,
                   const std::function<double(const TUnitTestMethod*)>& aMethodTime);

// The rows in tree order again, each row's children ordered slowest first;
// rows of equal time, and those that did not run (last), keep their order.
std::vector<TResultRow> SortedByDuration(const std::vector<TResultRow>& aRows);

} // namespace Kalvoro
