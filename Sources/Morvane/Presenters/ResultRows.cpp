#include "ResultRows.h"

#include "Project.h"
#include "UnitTestBase.h"

#include <algorithm>

namespace Kalvoro {

namespace {

QString FromName(const std::string& aName) {
  return QString::fromUtf8(aName.data(), static_cast<qsizetype>(aName.size()));
}

TResultRow MakeRow(TResultRowKind aKind, const std::string& aName, TResultTreeImage aImage,
                   TUnitTestResult aResult) {
  TResultRow Row;
  Row.Kind = aKind;
  Row.Text = FromName(aName);
  Row.Status = ResultText(aResult);
  Row.Image = aImage;
  Row.StatusImage = ResultImageIndex(aResult);
  return Row;
}

} // namespace

QString ResultText(TUnitTestResult aResult) {
  // Shared texts: a large tree holds four strings, not one per row.
  static const QString Texts[] = {QStringLiteral("TODO"), QStringLiteral("SUCCESS"),
                                  QStringLiteral("FAILURE"), QStringLiteral("EXCEPTION")};
  switch (aResult) {
  case tcrSuccess:
  case tcrFailure:
  case tcrException:
    return Texts[aResult];
  case tcrTodo:
    break;
  }
  return Texts[0];
}

TResultTreeImage ResultImageIndex(TUnitTestResult aResult) {
  switch (aResult) {
  case tcrSuccess:
    return rtiSuccess;
  case tcrFailure:
    return rtiFailure;
  case tcrException:
    return rtiException;
  case tcrTodo:
    break;
  }
  return rtiTodo;
}

TUnitTestResult ScenarioResult(const TTestScenario& aScenario) {
  TUnitTestResult Worst = tcrTodo;
  for (const TUnitTestBase* UnitTest : aScenario.UnitTestList()) {
    Worst = std::max(Worst, UnitTest->TestResult());
    for (const TUnitTestMethod* Method : UnitTest->Methods())
      Worst = std::max(Worst, Method->TestResult());
  }
  return Worst;
}

std::vector<TResultRow> ResultRows(const TTestScenarioList& aScenarios) {
  std::vector<TResultRow> Rows;
  for (TTestScenario* Scenario : aScenarios) {
    TResultRow& ScenarioRow = Rows.emplace_back(
        MakeRow(rrkScenario, Scenario->Name(), rtiScenario, ScenarioResult(*Scenario)));
    ScenarioRow.Scenario = Scenario;
    for (TUnitTestBase* UnitTest : Scenario->UnitTestList()) {
      // The worst of its own and its methods' results: results kept over a
      // reload are the methods' only.
      TUnitTestResult Result = UnitTest->TestResult();
      for (const TUnitTestMethod* Method : UnitTest->Methods())
        Result = std::max(Result, Method->TestResult());
      TResultRow& UnitTestRow =
          Rows.emplace_back(MakeRow(rrkUnitTest, UnitTest->Name(), rtiUnitTest, Result));
      UnitTestRow.UnitTest = UnitTest;
      for (TUnitTestMethod* Method : UnitTest->Methods()) {
        TResultRow& MethodRow =
            Rows.emplace_back(MakeRow(rrkMethod, Method->Name(), rtiMethod, Method->TestResult()));
        MethodRow.Method = Method;
      }
    }
  }
  return Rows;
}

} // namespace Kalvoro
