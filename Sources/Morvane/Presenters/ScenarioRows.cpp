#include "ScenarioRows.h"

#include "Paths.h"
#include "Project.h"

#include <QHash>

namespace Kalvoro {

namespace {

// Module file names, worked out once per module and rebuild.
class TModuleNames {
public:
  const QString& Of(TModule* aModule) {
    if (aModule != FLast) {
      auto Found = FNames.find(aModule);
      if (Found == FNames.end())
        Found = FNames.insert(aModule,
                              aModule == nullptr ? QString() : FromPath(aModule->GetFileName()));
      FLast = aModule;
      FLastName = *Found;
    }
    return FLastName;
  }

private:
  QHash<TModule*, QString> FNames;
  TModule* FLast = nullptr;
  QString FLastName;
};

} // namespace

std::vector<TScenarioRow> ScenarioRows(const TProject& aProject) {
  std::vector<TScenarioRow> Rows;
  int Count = 0;
  for (const TTestScenario* Scenario : aProject.Scenarios())
    Count += 1 + Scenario->GetUnitTestCount();
  Rows.reserve(static_cast<std::size_t>(Count));
  TModuleNames Modules;
  for (TTestScenario* Scenario : aProject.Scenarios()) {
    TScenarioRow& Row = Rows.emplace_back();
    Row.Scenario = Scenario;
    Row.Text = QString::fromStdString(Scenario->Name());
    Row.Image = stiScenario;
    Row.Checked = Scenario->Enabled();
    for (TUnitTestBase* UnitTest : Scenario->UnitTestList()) {
      TScenarioRow& Child = Rows.emplace_back();
      Child.UnitTest = UnitTest;
      Child.Text = QString::fromStdString(UnitTest->Name());
      Child.Module = Modules.Of(UnitTest->Module());
      Child.Image = stiUnitTest;
      Child.Checked = UnitTest->Enabled();
    }
  }
  return Rows;
}

std::vector<TAvailableRow> AvailableRows(const TProject& aProject) {
  std::vector<TAvailableRow> Rows;
  for (const TModule* Module : aProject.Modules())
    for (TUnitTestBase* UnitTest : Module->UnitTestList())
      if (UnitTest->TestScenario() == nullptr)
        Rows.push_back({UnitTest, QString::fromStdString(UnitTest->Name())});
  return Rows;
}

std::string ScenarioName(const QString& aText) {
  return CutName(aText.toStdString());
}

TScenarioRowIndex::TScenarioRowIndex(const std::vector<TScenarioRow>& aRows) {
  for (std::size_t Row = 0; Row < aRows.size(); ++Row)
    if (aRows[Row].IsScenario())
      FScenarioStarts.push_back(static_cast<int>(Row));
}

int TScenarioRowIndex::RowOf(int aScenario, int aUnitTest) const {
  if (aScenario < 0 || aScenario >= static_cast<int>(FScenarioStarts.size()))
    return -1;
  return FScenarioStarts[static_cast<std::size_t>(aScenario)] + 1 + aUnitTest;
}

std::vector<TRowRange> SelectedRanges(const std::vector<TScenarioRow>& aRows,
                                      const std::vector<int>& aSelected) {
  const int Count = static_cast<int>(aRows.size());
  // A row's parent: the scenario row above a unit test, -1 for a scenario.
  std::vector<int> Parents(aRows.size(), -1);
  for (int Row = 0, Scenario = -1; Row < Count; ++Row) {
    if (aRows[static_cast<std::size_t>(Row)].IsScenario())
      Scenario = Row;
    else
      Parents[static_cast<std::size_t>(Row)] = Scenario;
  }
  std::vector<TRowRange> Ranges;
  for (std::size_t I = 0; I < aSelected.size();) {
    const int First = aSelected[I++];
    if (First < 0 || First >= Count)
      continue;
    int Last = First;
    while (I < aSelected.size() && aSelected[I] == Last + 1 && Last + 1 < Count &&
           Parents[static_cast<std::size_t>(Last + 1)] ==
               Parents[static_cast<std::size_t>(First)]) {
      ++Last;
      ++I;
    }
    Ranges.push_back({First, Last});
  }
  return Ranges;
}

} // namespace Kalvoro
