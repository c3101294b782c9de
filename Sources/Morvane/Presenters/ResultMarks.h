// The new and fixed marks of the results tree: each method's result compared
// with its result in the last run of this session in which it ran (Run Failed
// and Run Selected run only a few, and a method left out keeps its last
// result for the next comparison). A method that fails or raises now and
// passed then is new; one that passes now and failed or raised then is fixed.
// Methods are known by scenario, unit test and method name, so that a module
// listed again keeps its history.
#pragma once

#include "ResultRows.h"

#include <map>
#include <string>

namespace Kalvoro {

class TTestScenarioList;

class TResultMarks {
public:
  // Takes the results of a run that ended: marks the methods that ran and
  // keeps their results for the next comparison; methods that did not run
  // lose their mark.
  void Record(const TTestScenarioList& aScenarios);
  void Clear();
  TResultMark Mark(const TTestScenario& aScenario, const TUnitTestBase& aUnitTest,
                   const TUnitTestMethod& aMethod) const;
  // Sets each method row's mark and its status image (the image with the
  // mark over it).
  void Apply(std::vector<TResultRow>& aRows) const;

private:
  struct TEntry {
    TUnitTestResult Last = tcrTodo;
    TResultMark Mark = rmNone;
  };
  std::map<std::string, TEntry> FEntries;
};

// The mark in words for the details pane and the row's accessible
// description; empty for none.
QString MarkText(TResultMark aMark);

} // namespace Kalvoro
