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

} // namespace Kalvoro
