#include "ScenariosPresenter.h"

#include "Dialogs.h"
#include "Project.h"

#include <algorithm>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Kalvoro {

namespace {

TCommand MakeCommand(const char* aName, const char* aCaption, int aImage, unsigned aPlaces,
                     std::function<bool()> aRule, std::function<void()> aEffect) {
  TCommand Command;
  Command.Name = QString::fromLatin1(aName);
  Command.Caption = QString::fromLatin1(aCaption);
  Command.Image = aImage;
  Command.Places = aPlaces;
  Command.Rule = std::move(aRule);
  Command.Effect = std::move(aEffect);
  return Command;
}

// A command of the button strip: no caption, no image of the action's own and
// no place but its strip button, which carries the hint.
TCommand StripCommand(const char* aName, const char* aHint, std::function<bool()> aRule,
                      std::function<void()> aEffect) {
  TCommand Command = MakeCommand(aName, "", -1, 0, std::move(aRule), std::move(aEffect));
  Command.Hint = QString::fromLatin1(aHint);
  return Command;
}

} // namespace

TScenariosPresenter::TScenariosPresenter(IDialogs& aDialogs, IScenariosView& aView)
    : FDialogs(aDialogs), FView(aView) {
  const unsigned ToolsAndPopup = cpToolBar | cpPopup;
  const auto Active = [this] { return FProject != nullptr; };
  const auto AnySelected = [this] { return HasSelectedRows(); };
  const auto ScenarioCurrent = [this] {
    const TScenarioRow* Row = CurrentScenarioRow();
    return Row != nullptr && Row->IsScenario();
  };
  const auto HasCurrent = [this] { return CurrentScenarioRow() != nullptr; };

  FCommands.push_back(MakeCommand("actAddScenario", "Add", saiAdd, ToolsAndPopup, Active,
                                  [this] { AddScenario(); }));
  FCommands.push_back(MakeCommand(
      "actRemoveScenario", "Remove", saiRemove, ToolsAndPopup,
      [this, ScenarioCurrent] { return ScenarioCurrent() && FProject->Scenarios().Count() > 1; },
      [this] { RemoveScenario(); }));
  FCommands.push_back(MakeCommand("actRenameScenario", "Rename", saiRename, ToolsAndPopup,
                                  ScenarioCurrent, [this] { RenameScenario(); }));
  FCommands.push_back(TCommand::Separator(ToolsAndPopup));
  TCommand Enable = MakeCommand("actEnable", "Enable", saiEnable, cpEverywhere, AnySelected,
                                [this] { SetSelectedEnabled(true); });
  Enable.Shortcut = QKeySequence(Qt::CTRL | Qt::Key_E);
  Enable.Hint = QStringLiteral("Enable|Enable the selected scenario or testcase");
  FCommands.push_back(Enable);
  TCommand Disable = MakeCommand("actDisable", "Disable", saiDisable, cpEverywhere, AnySelected,
                                 [this] { SetSelectedEnabled(false); });
  Disable.Shortcut = QKeySequence(Qt::CTRL | Qt::Key_D);
  Disable.Hint = QStringLiteral("Disable|Disable the selected scenario or testcase");
  FCommands.push_back(Disable);

  FCommands.push_back(StripCommand(
      "actAddSelected", "Add Selected|Add the selected testcases to the scenario",
      [this, HasCurrent] { return HasSelectedAvailable() && HasCurrent(); },
      [this] { AddSelected(); }));
  FCommands.push_back(StripCommand(
      "actAddAll", "Add All|Add all testcases to the scenario",
      [this, HasCurrent] {
        const std::vector<char>& Hidden = FHidden[sctAvailable];
        const bool AnyShown = Hidden.empty()
                                  ? !FAvailable.empty()
                                  : std::find(Hidden.begin(), Hidden.end(), 0) != Hidden.end();
        return AnyShown && HasCurrent();
      },
      [this] { AddAll(); }));
  FCommands.push_back(StripCommand(
      "actRemoveSelected", "Remove Selected|Remove the selected testcases from the scenario",
      AnySelected, [this] { RemoveSelected(); }));
  FCommands.push_back(StripCommand(
      "actRemoveAll", "Remove All| Remove all testcases from the scenario",
      [this] { return FProject != nullptr && !FRows.empty(); }, [this] { RemoveAll(); }));
}

void TScenariosPresenter::Activate(TProject* aProject) {
  FProject = aProject;
  RefreshAll();
}

void TScenariosPresenter::Deactivate() {
  FProject = nullptr;
  FRows.clear();
  FRowIndex = {};
  FAvailable.clear();
  FSelection = {};
  FView.ShowAvailable();
  FView.ShowRows();
}

const TScenarioRow* TScenariosPresenter::RowAt(int aRow) const {
  return aRow >= 0 && aRow < static_cast<int>(FRows.size()) ? &FRows[static_cast<std::size_t>(aRow)]
                                                            : nullptr;
}

const TScenarioRow* TScenariosPresenter::CurrentScenarioRow() const {
  return FProject != nullptr ? RowAt(FView.CurrentRow()) : nullptr;
}

bool TScenariosPresenter::HasSelectedRows() const {
  if (FProject == nullptr || FRows.empty())
    return false;
  return FView.AnyRowSelected();
}

bool TScenariosPresenter::HasSelectedAvailable() const {
  if (FProject == nullptr || FAvailable.empty())
    return false;
  return FView.AnyAvailableSelected();
}

TTestScenario* TScenariosPresenter::TargetScenario() const {
  const TScenarioRow* Row = CurrentScenarioRow();
  if (Row == nullptr)
    return nullptr;
  return Row->IsScenario() ? Row->Scenario : Row->UnitTest->TestScenario();
}

void TScenariosPresenter::SetFilter(TScenariosTree aTree, const QString& aText) {
  if (aTree == sctOther)
    return;
  FFilterTexts[aTree] = aText;
  UpdateHidden(aTree);
}

const QString& TScenariosPresenter::FilterText(TScenariosTree aTree) const {
  return FFilterTexts[aTree == sctAvailable ? sctAvailable : sctScenarios];
}

const std::vector<char>& TScenariosPresenter::HiddenRows(TScenariosTree aTree) const {
  return FHidden[aTree == sctAvailable ? sctAvailable : sctScenarios];
}

bool TScenariosPresenter::Shown(TScenariosTree aTree, int aRow) const {
  const std::vector<char>& Hidden = HiddenRows(aTree);
  return aRow >= 0 && (Hidden.empty() || (static_cast<std::size_t>(aRow) < Hidden.size() &&
                                          Hidden[static_cast<std::size_t>(aRow)] == 0));
}

std::vector<int> TScenariosPresenter::ShownOf(TScenariosTree aTree, std::vector<int> aRows) const {
  std::erase_if(aRows, [&](int aRow) { return !Shown(aTree, aRow); });
  return aRows;
}

void TScenariosPresenter::UpdateHidden(TScenariosTree aTree) {
  const TTextMatcher Text(FFilterTexts[aTree]);
  std::vector<char>& Hidden = FHidden[aTree];
  if (Text.Empty()) {
    Hidden.clear();
  } else if (aTree == sctScenarios) {
    Hidden = Kalvoro::HiddenRows(
        static_cast<int>(FRows.size()),
        [this](int aRow) { return FRows[static_cast<std::size_t>(aRow)].Level(); },
        [this, &Text](int aRow) {
          return Text.Matches(FRows[static_cast<std::size_t>(aRow)].Text);
        });
  } else {
    Hidden = Kalvoro::HiddenRows(
        static_cast<int>(FAvailable.size()), [](int) { return 0; },
        [this, &Text](int aRow) {
          return Text.Matches(FAvailable[static_cast<std::size_t>(aRow)].Text);
        });
  }
}

void TScenariosPresenter::RefreshAll() {
  RefreshUnitTests();
  RefreshScenarios();
}

void TScenariosPresenter::RefreshUnitTests() {
  if (FProject == nullptr)
    return;
  FAvailable = Kalvoro::AvailableRows(*FProject);
  UpdateHidden(sctAvailable);
  FView.ShowAvailable();
}

void TScenariosPresenter::RefreshScenarios() {
  if (FProject == nullptr)
    return;
  const std::vector<int> Recorded = FView.SelectedRows();
  FRows = ScenarioRows(*FProject);
  FRowIndex = TScenarioRowIndex(FRows);
  UpdateHidden(sctScenarios);
  FSelection = RestoredSelection(Recorded, static_cast<int>(FRows.size()));
  FView.ShowRows();
}

void TScenariosPresenter::SetItemEnabled(int aRow, bool aValue) {
  const TScenarioRow* Row = RowAt(aRow);
  if (FProject == nullptr || Row == nullptr)
    return;
  FProject->SetModified();
  if (Row->IsScenario() && !FHidden[sctScenarios].empty()) {
    // Under a filter a scenario row stands for its unit tests that show.
    for (int Next = aRow + 1; Next < static_cast<int>(FRows.size()) &&
                              !FRows[static_cast<std::size_t>(Next)].IsScenario();
         ++Next)
      if (Shown(sctScenarios, Next))
        FRows[static_cast<std::size_t>(Next)].UnitTest->SetEnabled(aValue);
  } else if (Row->IsScenario())
    Row->Scenario->SetEnabled(aValue);
  else
    Row->UnitTest->SetEnabled(aValue);
}

void TScenariosPresenter::CheckToggled(int aRow, bool aChecked) {
  if (FProject == nullptr)
    return;
  SetItemEnabled(aRow, aChecked);
  RefreshAll();
}

void TScenariosPresenter::SetSelectedEnabled(bool aValue) {
  if (FProject == nullptr)
    return;
  const std::vector<int> Selected = ShownOf(sctScenarios, FView.SelectedRows());
  if (Selected.empty())
    return;
  for (int Row : Selected)
    SetItemEnabled(Row, aValue);
  RefreshAll();
}

void TScenariosPresenter::AddScenario() {
  if (FProject == nullptr)
    return;
  QString Name = QStringLiteral("New Scenario");
  if (!FDialogs.InputQuery(QStringLiteral("Add TestScenario"),
                           QStringLiteral("Type the name of the new TestScenario"), Name))
    return;
  // Marked before the list may refuse the name, as every command marks first.
  FProject->SetModified();
  FProject->Scenarios().AddByName(ScenarioName(Name));
  RefreshAll();
}

void TScenariosPresenter::RemoveScenario() {
  const TScenarioRow* Row = CurrentScenarioRow();
  if (FProject == nullptr || Row == nullptr || !Row->IsScenario() ||
      FProject->Scenarios().Count() <= 1)
    return;
  TTestScenario* Scenario = Row->Scenario;
  FProject->SetModified();
  Scenario->RemoveAllUnitTests();
  FProject->Scenarios().Remove(Scenario);
  RefreshAll();
}

void TScenariosPresenter::RenameScenario() {
  const TScenarioRow* Row = CurrentScenarioRow();
  if (FProject == nullptr || Row == nullptr || !Row->IsScenario())
    return;
  TTestScenario* Scenario = Row->Scenario;
  QString Text = QStringLiteral("New Name");
  if (!FDialogs.InputQuery(QStringLiteral("Rename TestScenario"),
                           QStringLiteral("Type the new name of the TestSCenario"), Text))
    return;
  // The name is compared as it will be kept, so that two long names equal in
  // their first 255 bytes cannot end up on two scenarios.
  const std::string Name = ScenarioName(Text);
  if (FProject->Scenarios().FindByName(Name) != nullptr)
    throw Exception(std::string(DuplicateScenarioMessage));
  FProject->SetModified();
  Scenario->SetName(Name);
  RefreshAll();
}

void TScenariosPresenter::AddAvailable(TTestScenario* aTarget, const std::vector<int>& aRows) {
  FProject->SetModified();
  for (int Index : aRows)
    if (Index >= 0 && Index < static_cast<int>(FAvailable.size()) && Shown(sctAvailable, Index))
      aTarget->AddUnitTest(FAvailable[static_cast<std::size_t>(Index)].UnitTest);
  RefreshAll();
}

void TScenariosPresenter::AddSelected() {
  TTestScenario* Target = TargetScenario();
  if (FProject == nullptr || Target == nullptr)
    return;
  AddAvailable(Target, FView.SelectedAvailable());
}

void TScenariosPresenter::AddAll() {
  TTestScenario* Target = TargetScenario();
  if (FProject == nullptr || FAvailable.empty() || Target == nullptr)
    return;
  std::vector<int> All;
  for (int Index = 0; Index < static_cast<int>(FAvailable.size()); ++Index)
    if (Shown(sctAvailable, Index))
      All.push_back(Index);
  AddAvailable(Target, All);
}

void TScenariosPresenter::RemoveSelected() {
  if (FProject == nullptr)
    return;
  const std::vector<int> Selected = ShownOf(sctScenarios, FView.SelectedRows());
  if (Selected.empty())
    return;
  FProject->SetModified();
  // Gathered per scenario, so that each scenario's list is passed over once
  // however many of its rows are selected.
  std::vector<std::pair<TTestScenario*, std::vector<TUnitTestBase*>>> Removals;
  std::unordered_map<TTestScenario*, std::size_t> Slots;
  for (int Index : Selected) {
    const TScenarioRow* Row = RowAt(Index);
    if (Row == nullptr || Row->IsScenario() || Row->UnitTest->TestScenario() == nullptr)
      continue;
    TTestScenario* Scenario = Row->UnitTest->TestScenario();
    const auto [Slot, New] = Slots.try_emplace(Scenario, Removals.size());
    if (New)
      Removals.emplace_back(Scenario, std::vector<TUnitTestBase*>());
    Removals[Slot->second].second.push_back(Row->UnitTest);
  }
  for (const auto& [Scenario, UnitTests] : Removals)
    Scenario->RemoveUnitTests(UnitTests);
  RefreshAll();
}

void TScenariosPresenter::RemoveAll() {
  if (FProject == nullptr)
    return;
  FProject->SetModified();
  if (!FHidden[sctScenarios].empty()) {
    // Under a filter only the unit tests shown leave their scenarios.
    std::vector<TTestScenario*> Scenarios;
    std::vector<std::vector<TUnitTestBase*>> Removals;
    for (int Row = 0; Row < static_cast<int>(FRows.size()); ++Row) {
      const TScenarioRow& Each = FRows[static_cast<std::size_t>(Row)];
      if (Each.IsScenario()) {
        Scenarios.push_back(Each.Scenario);
        Removals.emplace_back();
      } else if (Shown(sctScenarios, Row) && !Removals.empty()) {
        Removals.back().push_back(Each.UnitTest);
      }
    }
    for (std::size_t I = 0; I < Scenarios.size(); ++I)
      if (!Removals[I].empty())
        Scenarios[I]->RemoveUnitTests(Removals[I]);
    RefreshAll();
    return;
  }
  // An empty scenario loses nothing, so its enabled state stays as it is.
  for (TTestScenario* Scenario : FProject->Scenarios())
    if (Scenario->UnitTestList().Count() > 0)
      Scenario->RemoveAllUnitTests();
  RefreshAll();
}

bool TScenariosPresenter::AcceptsDrag(TScenariosTree aTarget, TScenariosTree aSource) {
  return (aTarget == sctScenarios && aSource == sctAvailable) ||
         (aTarget == sctAvailable && aSource == sctScenarios);
}

void TScenariosPresenter::DropOnScenarios(int aRow) {
  const TScenarioRow* Row = RowAt(aRow);
  if (FProject == nullptr || Row == nullptr)
    return;
  TTestScenario* Target = Row->IsScenario() ? Row->Scenario : Row->UnitTest->TestScenario();
  if (Target != nullptr)
    AddAvailable(Target, FView.SelectedAvailable());
}

void TScenariosPresenter::DropOnAvailable() {
  FindCommand(FCommands, QStringLiteral("actRemoveSelected")).Run();
}

void TScenariosPresenter::DoubleClicked(TScenariosTree aTree) {
  if (aTree == sctAvailable)
    FindCommand(FCommands, QStringLiteral("actAddSelected")).Run();
  else if (aTree == sctScenarios)
    FindCommand(FCommands, QStringLiteral("actRemoveSelected")).Run();
}

} // namespace Kalvoro
