#include "ResultMarks.h"

#include "Project.h"
#include "UnitTestBase.h"

namespace Kalvoro {

namespace {

std::string Key(const TTestScenario& aScenario, const TUnitTestBase& aUnitTest,
                const TUnitTestMethod& aMethod) {
  // Names hold no control characters: the unit separator keeps them apart.
  return aScenario.Name() + '\x1f' + aUnitTest.Name() + '\x1f' + aMethod.Name();
}

bool Failed(TUnitTestResult aResult) {
  return aResult == tcrFailure || aResult == tcrException;
}

} // namespace

void TResultMarks::Record(const TTestScenarioList& aScenarios) {
  for (const TTestScenario* Scenario : aScenarios)
    for (const TUnitTestBase* UnitTest : Scenario->UnitTestList())
      for (const TUnitTestMethod* Method : UnitTest->Methods()) {
        const TUnitTestResult Now = Method->TestResult();
        const auto Found = FEntries.find(Key(*Scenario, *UnitTest, *Method));
        if (Now == tcrTodo) {
          if (Found != FEntries.end())
            Found->second.Mark = rmNone;
          continue;
        }
        TEntry& Entry =
            Found != FEntries.end() ? Found->second : FEntries[Key(*Scenario, *UnitTest, *Method)];
        Entry.Mark = Failed(Now) && Entry.Last == tcrSuccess   ? rmNew
                     : Now == tcrSuccess && Failed(Entry.Last) ? rmFixed
                                                               : rmNone;
        Entry.Last = Now;
      }
}

void TResultMarks::Clear() {
  FEntries.clear();
}

TResultMark TResultMarks::Mark(const TTestScenario& aScenario, const TUnitTestBase& aUnitTest,
                               const TUnitTestMethod& aMethod) const {
  const auto Found = FEntries.find(Key(aScenario, aUnitTest, aMethod));
  return Found == FEntries.end() ? rmNone : Found->second.Mark;
}

void TResultMarks::Apply(std::vector<TResultRow>& aRows) const {
  if (FEntries.empty())
    return;
  const TTestScenario* Scenario = nullptr;
  const TUnitTestBase* UnitTest = nullptr;
  for (TResultRow& Row : aRows) {
    if (Row.Kind == rrkScenario) {
      Scenario = Row.Scenario;
    } else if (Row.Kind == rrkUnitTest) {
      UnitTest = Row.UnitTest;
    } else {
      Row.Mark = Mark(*Scenario, *UnitTest, *Row.Method);
      if (Row.Mark == rmFixed)
        Row.StatusImage = rtiFixed;
      else if (Row.Mark == rmNew)
        Row.StatusImage = Row.StatusImage == rtiException ? rtiNewException : rtiNewFailure;
    }
  }
}

QString MarkText(TResultMark aMark) {
  switch (aMark) {
  case rmNew:
    return QStringLiteral("New failure: it passed in the previous run");
  case rmFixed:
    return QStringLiteral("Fixed: it failed in the previous run");
  case rmNone:
    break;
  }
  return {};
}

} // namespace Kalvoro
