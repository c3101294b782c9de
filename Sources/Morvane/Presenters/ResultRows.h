// The rows of the results tree as data: every scenario of the project with its
// unit tests, and under each unit test its test methods, each row with its
// name, the result word and the two images (what the row is, how it ended).
#pragma once

#include "ResultImages.h"
#include "UnitTestMethod.h"

#include <QString>

#include <vector>

namespace Kalvoro {

class TTestScenario;
class TTestScenarioList;
class TUnitTestBase;
class TUnitTestMethod;

// "TODO", "SUCCESS", "FAILURE" or "EXCEPTION"; a value out of range is "TODO".
QString ResultText(TUnitTestResult aResult);
TResultTreeImage ResultImageIndex(TUnitTestResult aResult);
// The worst result among the scenario's unit tests (TODO < SUCCESS < FAILURE <
// EXCEPTION), disabled ones included; TODO when it has none.
TUnitTestResult ScenarioResult(const TTestScenario& aScenario);

enum TResultRowKind { rrkScenario, rrkUnitTest, rrkMethod };

// A method's result against its previous run: a new failure, or fixed.
enum TResultMark { rmNone, rmNew, rmFixed };

struct TResultRow {
  TResultRowKind Kind = rrkScenario;
  QString Text;
  QString Status;
  TResultTreeImage Image = rtiScenario;   // what the row shows
  TResultTreeImage StatusImage = rtiTodo; // its result
  // The object the row shows: exactly the one of its kind is set.
  TTestScenario* Scenario = nullptr;
  TUnitTestBase* UnitTest = nullptr;
  TUnitTestMethod* Method = nullptr;
  // The Duration column: the time in milliseconds (negative: not run) and
  // in words; a method's mark.
  double Milliseconds = -1;
  QString Duration;
  TResultMark Mark = rmNone;

  // 0 for a scenario, 1 for a unit test, 2 for a method.
  int Level() const { return static_cast<int>(Kind); }
};

// All rows in tree order: each row is followed by its children.
std::vector<TResultRow> ResultRows(const TTestScenarioList& aScenarios);

} // namespace Kalvoro
