// The scenarios view's logic without widgets: the rows of both trees, the
// target scenario, the nine commands with their rules and effects, the check
// boxes, drops and double-clicks, and the selection kept across rebuilds, with
// scripted dialogs and a stand-in for the view's selection.
#include "ScenariosPresenter.h"
#include "Dialogs.h"
#include "Exception.h"
#include "Project.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

using namespace Kalvoro;

namespace {

// Input boxes answered from a script (nullopt: Cancel); records what they
// were opened with. No other dialog is expected.
class TInputDialogs : public IDialogs {
public:
  void ShowMessage(const QString&, const QString&) override { ++Unexpected; }
  void ShowError(const QString&, const QString&) override { ++Unexpected; }
  bool Confirm(const QString&) override { return ++Unexpected, false; }
  bool InputQuery(const QString& aCaption, const QString& aPrompt, QString& aValue) override {
    Inputs << QStringList{aCaption, aPrompt, aValue};
    if (InputAnswers.isEmpty() || !InputAnswers.front()) {
      if (InputAnswers.isEmpty())
        ++Unexpected;
      else
        InputAnswers.removeFirst();
      return false;
    }
    aValue = *InputAnswers.takeFirst();
    return true;
  }
  bool OpenFile(TFileDialogOptions&) override { return ++Unexpected, false; }
  bool SaveFile(TFileDialogOptions&) override { return ++Unexpected, false; }
  int Execute(QDialog&) override { return ++Unexpected, 0; }

  QList<std::optional<QString>> InputAnswers;
  QList<QStringList> Inputs;
  int Unexpected = 0;
};

QString TestModulePath(const QString& aName) {
  return QStringLiteral(KALVORO_GUI_TEST_MODULES_DIR "/") + aName;
}

// The view as far as the presenter sees it: which rows are selected and
// current. A rebuild takes the presenter's selection, as the real trees do.
class TFakeView : public IScenariosView {
public:
  std::vector<int> Selected;
  int Current = -1;
  std::vector<int> Available;
  int Rebuilds = 0;
  const TScenariosPresenter* Presenter = nullptr;

  std::vector<int> SelectedRows() const override { return Selected; }
  bool AnyRowSelected() const override { return !Selected.empty(); }
  int CurrentRow() const override { return Current; }
  std::vector<int> SelectedAvailable() const override { return Available; }
  bool AnyAvailableSelected() const override { return !Available.empty(); }
  void ShowAvailable() override { Available.clear(); }
  void ShowRows() override {
    Selected = Presenter->Selection().Rows;
    Current = Presenter->Selection().Current;
    ++Rebuilds;
  }

  // Selects the rows (in tree order); the first becomes current.
  void Select(std::vector<int> aRows) {
    Selected = std::move(aRows);
    Current = Selected.empty() ? -1 : Selected.front();
  }
};

// "Name [x]" for a scenario row, "- Name Module [ ]" for a unit-test row.
QStringList Texts(const TScenariosPresenter& aPresenter) {
  QStringList Result;
  for (const TScenarioRow& Row : aPresenter.Rows()) {
    const QString Box = Row.Checked ? QStringLiteral("[x]") : QStringLiteral("[ ]");
    Result << (Row.IsScenario() ? Row.Text + ' ' + Box
                                : QStringLiteral("- ") + Row.Text + ' ' + Row.Module + ' ' + Box);
  }
  return Result;
}

QStringList AvailableTexts(const TScenariosPresenter& aPresenter) {
  QStringList Result;
  for (const TAvailableRow& Row : aPresenter.AvailableRows())
    Result << Row.Text;
  return Result;
}

QString ErrorOf(const std::function<void()>& aBody) {
  try {
    aBody();
  } catch (const std::exception& Error) {
    return QString::fromStdString(Error.what());
  }
  return {};
}

const QString Duplicate = QString::fromLatin1(DuplicateScenarioMessage.data(),
                                              static_cast<int>(DuplicateScenarioMessage.size()));

} // namespace

class TScenariosPresenterTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TInputDialogs> FDialogs;
  std::unique_ptr<QTemporaryDir> FFolder;
  std::unique_ptr<TProject> FProject;
  std::unique_ptr<TScenariosPresenter> FPresenter;
  std::unique_ptr<TFakeView> FView;

  TModule* LoadModule(const char* aFile) {
    TModule* Module =
        FProject->Modules().AddByFileName(TestModulePath(QString::fromLatin1(aFile)).toStdString());
    if (!Module->LoadModule())
      qFatal("cannot load %s", aFile);
    return Module;
  }
  TTestScenario* Scenario(const char* aName) const {
    return FProject->Scenarios().FindByName(aName);
  }
  TUnitTestBase* UnitTest(int aModule, const char* aName) const {
    return FProject->Modules()[aModule]->UnitTestList().FindByName(aName);
  }
  // Saves the project, so that Modified starts out false.
  void Saved() {
    FProject->SetFileName(FFolder->filePath(QStringLiteral("Scenarios.kvr")).toStdString());
    FProject->SaveProject();
    QVERIFY(!FProject->Modified());
  }
  const TCommand& Command(const char* aName) const {
    return FindCommand(FPresenter->Commands(), QString::fromLatin1(aName));
  }
  bool Enabled(const char* aName) const { return Command(aName).Enabled(); }
  void Run(const char* aName) const { QVERIFY(Command(aName).Run()); }

  // Scenarios "Default Scenario" (TAlpha, TBeta of GuiAlpha) and "Smoke"
  // (TGamma of GuiGamma), TGamma disabled; nothing available.
  void Compose() {
    LoadModule("GuiAlpha.so");
    LoadModule("GuiGamma.so");
    TTestScenario* Smoke = FProject->Scenarios().AddByName("Smoke");
    Scenario("Default Scenario")->AddUnitTest(UnitTest(0, "TAlpha"));
    Scenario("Default Scenario")->AddUnitTest(UnitTest(0, "TBeta"));
    Smoke->AddUnitTest(UnitTest(1, "TGamma"));
    UnitTest(1, "TGamma")->SetEnabled(false);
    FPresenter->Activate(FProject.get());
  }

private slots:
  void init() {
    FDialogs = std::make_unique<TInputDialogs>();
    FFolder = std::make_unique<QTemporaryDir>();
    FProject = std::make_unique<TProject>();
    FView = std::make_unique<TFakeView>();
    FPresenter = std::make_unique<TScenariosPresenter>(*FDialogs, *FView);
    FView->Presenter = FPresenter.get();
  }
  void cleanup() {
    QCOMPARE(FDialogs->Unexpected, 0);
    FPresenter.reset();
    FProject.reset();
  }

  void commandsCarryTheirCaptionsImagesShortcutsAndHints() {
    struct TExpected {
      const char* Name;
      const char* Caption;
      int Image;
      QKeySequence Shortcut;
      const char* Hint;
      unsigned Places;
    };
    const unsigned Tools = cpToolBar | cpPopup;
    const TExpected Expected[] = {
        {"actAddScenario", "Add", saiAdd, {}, "", Tools},
        {"actRemoveScenario", "Remove", saiRemove, {}, "", Tools},
        {"actRenameScenario", "Rename", saiRename, {}, "", Tools},
        {"actEnable", "Enable", saiEnable, QKeySequence(QStringLiteral("Ctrl+E")),
         "Enable|Enable the selected scenario or testcase", cpEverywhere},
        {"actDisable", "Disable", saiDisable, QKeySequence(QStringLiteral("Ctrl+D")),
         "Disable|Disable the selected scenario or testcase", cpEverywhere},
        {"actAddSelected",
         "",
         -1,
         {},
         "Add Selected|Add the selected testcases to the scenario",
         0},
        {"actAddAll", "", -1, {}, "Add All|Add all testcases to the scenario", 0},
        {"actRemoveSelected",
         "",
         -1,
         {},
         "Remove Selected|Remove the selected testcases from the scenario",
         0},
        {"actRemoveAll", "", -1, {}, "Remove All| Remove all testcases from the scenario", 0},
    };
    QStringList Order;
    for (const TCommand& Command : FPresenter->Commands())
      Order << (Command.IsSeparator() ? QStringLiteral("-") : Command.Name);
    QCOMPARE(Order, QStringList({"actAddScenario", "actRemoveScenario", "actRenameScenario", "-",
                                 "actEnable", "actDisable", "actAddSelected", "actAddAll",
                                 "actRemoveSelected", "actRemoveAll"}));
    QCOMPARE(FPresenter->Commands()[3].Places, Tools);
    for (const TExpected& Item : Expected) {
      const TCommand& Actual = Command(Item.Name);
      QCOMPARE(Actual.Caption, QString::fromLatin1(Item.Caption));
      QCOMPARE(Actual.Image, Item.Image);
      QCOMPARE(Actual.Shortcut, Item.Shortcut);
      QCOMPARE(Actual.Hint, QString::fromLatin1(Item.Hint));
      QCOMPARE(Actual.Places, Item.Places);
    }
    // Without a project nothing can run.
    for (const TExpected& Item : Expected)
      QVERIFY2(!Enabled(Item.Name), Item.Name);
  }

  void newProjectShowsDefaultScenarioAlone() {
    FPresenter->Activate(FProject.get());
    QCOMPARE(Texts(*FPresenter), QStringList{"Default Scenario [x]"});
    QVERIFY(FPresenter->AvailableRows().empty());
    QCOMPARE(FView->Current, 0);
    QCOMPARE(FView->Selected, std::vector<int>{0});
    QVERIFY(FPresenter->Rows()[0].Image == stiScenario);
    QVERIFY(!Enabled("actRemoveScenario"));
    QVERIFY(Enabled("actAddScenario"));
    QVERIFY(Enabled("actRenameScenario"));
    QVERIFY(Enabled("actEnable") && Enabled("actDisable") && Enabled("actRemoveAll"));
    QVERIFY(!Enabled("actAddSelected") && !Enabled("actAddAll"));
  }

  void rowsShowScenariosTheirUnitTestsAndTheAvailableOnes() {
    Compose();
    QCOMPARE(Texts(*FPresenter),
             QStringList({"Default Scenario [x]", "- TAlpha GuiAlpha.so [x]",
                          "- TBeta GuiAlpha.so [x]", "Smoke [ ]", "- TGamma GuiGamma.so [ ]"}));
    QVERIFY(FPresenter->Rows()[1].Image == stiUnitTest);
    QCOMPARE(FPresenter->Rows()[1].UnitTest, UnitTest(0, "TAlpha"));
    QCOMPARE(FPresenter->Rows()[3].Scenario, Scenario("Smoke"));
    // Available: module by module, each in its own order.
    Scenario("Smoke")->RemoveAllUnitTests();
    Scenario("Default Scenario")->RemoveUnitTest(UnitTest(0, "TBeta"));
    FPresenter->RefreshAll();
    QCOMPARE(AvailableTexts(*FPresenter), QStringList({"TBeta", "TGamma"}));
    QCOMPARE(FPresenter->AvailableRows()[1].UnitTest, UnitTest(1, "TGamma"));
    // The target follows the current row; there is none without one.
    FView->Current = 1;
    QCOMPARE(FPresenter->TargetScenario(), Scenario("Default Scenario"));
    FView->Current = 2;
    QCOMPARE(FPresenter->TargetScenario(), Scenario("Smoke"));
    FView->Current = -1;
    QCOMPARE(FPresenter->TargetScenario(), nullptr);
  }

  void addScenarioTakesTheNameAsTyped() {
    FPresenter->Activate(FProject.get());
    Saved();
    FDialogs->InputAnswers = {std::nullopt, QStringLiteral("  Night ly "), QString()};
    Run("actAddScenario");
    QCOMPARE(
        FDialogs->Inputs.value(0),
        QStringList({"Add TestScenario", "Type the name of the new TestScenario", "New Scenario"}));
    QVERIFY(!FProject->Modified()); // cancelled
    Run("actAddScenario");
    Run("actAddScenario");
    QVERIFY(FProject->Modified());
    QCOMPARE(Texts(*FPresenter), QStringList({"Default Scenario [x]", "  Night ly  [x]", " [x]"}));

    // A name in use: refused with the message, marked modified, no rebuild.
    Saved();
    const int Rebuilds = FView->Rebuilds;
    FDialogs->InputAnswers = {QStringLiteral("Default Scenario")};
    QCOMPARE(ErrorOf([this] { Command("actAddScenario").Run(); }), Duplicate);
    QVERIFY(FProject->Modified());
    QCOMPARE(FProject->Scenarios().Count(), 3);
    QCOMPARE(FView->Rebuilds, Rebuilds);
  }

  void renameRefusesNamesInUseAndCutsLongNames() {
    Compose();
    FView->Select({3}); // Smoke
    Saved();
    FDialogs->InputAnswers = {QStringLiteral("Smoke"), QStringLiteral("Default Scenario"),
                              std::nullopt};
    QCOMPARE(ErrorOf([this] { Command("actRenameScenario").Run(); }), Duplicate);
    QCOMPARE(
        FDialogs->Inputs.value(0),
        QStringList({"Rename TestScenario", "Type the new name of the TestSCenario", "New Name"}));
    QCOMPARE(ErrorOf([this] { Command("actRenameScenario").Run(); }), Duplicate);
    Run("actRenameScenario"); // cancelled
    QVERIFY(!FProject->Modified());
    QCOMPARE(Scenario("Smoke")->Name(), std::string("Smoke"));

    // 300 characters are cut to 255; a character is never cut in half.
    const QString Long(300, QLatin1Char('x'));
    const QString Wide = QString(254, QLatin1Char('y')) + QString::fromUtf8("\xc3\xa9\xc3\xa9");
    FDialogs->InputAnswers = {Long, Wide};
    Run("actRenameScenario");
    QVERIFY(FProject->Modified());
    QCOMPARE(FProject->Scenarios()[1]->Name(), std::string(255, 'x'));
    Run("actRenameScenario");
    QCOMPARE(FProject->Scenarios()[1]->Name(), std::string(254, 'y'));
    // Names equal in their first 255 characters are the same name.
    FDialogs->InputAnswers = {Long};
    Run("actRenameScenario");
    FView->Select({0});
    FDialogs->InputAnswers = {Long + QStringLiteral("more")};
    QCOMPARE(ErrorOf([this] { Command("actRenameScenario").Run(); }), Duplicate);

    // Only a scenario row can be renamed.
    FView->Select({1});
    QVERIFY(!Enabled("actRenameScenario"));
  }

  void removeScenarioReturnsItsUnitTestsDisabled() {
    Compose();
    FView->Select({1}); // a unit-test row
    QVERIFY(!Enabled("actRemoveScenario"));
    FView->Select({0}); // "Default Scenario" is removed like any other
    Saved();
    Run("actRemoveScenario");
    QVERIFY(FProject->Modified());
    QCOMPARE(Texts(*FPresenter), QStringList({"Smoke [ ]", "- TGamma GuiGamma.so [ ]"}));
    QCOMPARE(AvailableTexts(*FPresenter), QStringList({"TAlpha", "TBeta"}));
    QVERIFY(!UnitTest(0, "TAlpha")->Enabled() && !UnitTest(0, "TBeta")->Enabled());
    // The last scenario stays.
    FView->Select({0});
    QVERIFY(!Enabled("actRemoveScenario"));
    // Added again, they come back enabled.
    FView->Available = {0, 1};
    Run("actAddSelected");
    QCOMPARE(Texts(*FPresenter),
             QStringList({"Smoke [x]", "- TGamma GuiGamma.so [ ]", "- TAlpha GuiAlpha.so [x]",
                          "- TBeta GuiAlpha.so [x]"}));
  }

  void enableAndDisableWorkInSelectionOrder() {
    Compose();
    FView->Select({});
    QVERIFY(!Enabled("actEnable") && !Enabled("actDisable"));
    // The scenario first, then one of its unit tests: the later sees the earlier.
    FView->Select({0, 2, 3});
    Saved();
    Run("actDisable");
    QVERIFY(FProject->Modified());
    QCOMPARE(Texts(*FPresenter),
             QStringList({"Default Scenario [ ]", "- TAlpha GuiAlpha.so [ ]",
                          "- TBeta GuiAlpha.so [ ]", "Smoke [ ]", "- TGamma GuiGamma.so [ ]"}));
    FView->Select({2});
    Run("actEnable");
    QCOMPARE(Texts(*FPresenter).mid(0, 3),
             QStringList(
                 {"Default Scenario [x]", "- TAlpha GuiAlpha.so [ ]", "- TBeta GuiAlpha.so [x]"}));
    FView->Select({3, 4});
    Run("actEnable");
    QCOMPARE(Texts(*FPresenter).mid(3), QStringList({"Smoke [x]", "- TGamma GuiGamma.so [x]"}));
    QCOMPARE(FView->Selected, std::vector<int>({3, 4}));
  }

  void checkBoxesEnableTheirRow() {
    Compose();
    Saved();
    // The last enabled unit test's box clears the scenario's box.
    FPresenter->CheckToggled(1, false);
    QVERIFY(FProject->Modified());
    QCOMPARE(Texts(*FPresenter)[0], QStringLiteral("Default Scenario [x]"));
    FPresenter->CheckToggled(2, false);
    QCOMPARE(Texts(*FPresenter).mid(0, 3),
             QStringList(
                 {"Default Scenario [ ]", "- TAlpha GuiAlpha.so [ ]", "- TBeta GuiAlpha.so [ ]"}));
    // A scenario's box ticks all its unit tests.
    FPresenter->CheckToggled(0, true);
    QCOMPARE(Texts(*FPresenter).mid(0, 3),
             QStringList(
                 {"Default Scenario [x]", "- TAlpha GuiAlpha.so [x]", "- TBeta GuiAlpha.so [x]"}));
  }

  void addSelectedAndAddAllGoToTheTargetScenario() {
    Compose();
    Scenario("Default Scenario")->RemoveAllUnitTests();
    Scenario("Smoke")->RemoveAllUnitTests();
    FPresenter->RefreshAll();
    // An emptied scenario has no enabled unit test left.
    QCOMPARE(Texts(*FPresenter), QStringList({"Default Scenario [ ]", "Smoke [ ]"}));
    // No current row: nothing to add to, nothing marked.
    Saved();
    FView->Select({});
    FView->Available = {1};
    QVERIFY(!Enabled("actAddSelected") && !Enabled("actAddAll"));
    FPresenter->DoubleClicked(sctAvailable);
    QVERIFY(!FProject->Modified());
    QCOMPARE(AvailableTexts(*FPresenter).size(), 3);

    FView->Select({1}); // Smoke
    FView->Available = {0, 2};
    Run("actAddSelected");
    QVERIFY(FProject->Modified());
    QCOMPARE(Texts(*FPresenter),
             QStringList({"Default Scenario [ ]", "Smoke [x]", "- TAlpha GuiAlpha.so [x]",
                          "- TGamma GuiGamma.so [x]"}));
    QVERIFY(FView->Available.empty()); // the list's selection is not kept
    QVERIFY(!Enabled("actAddSelected"));
    // Double-click with a unit-test row current adds to that row's scenario.
    FView->Select({3});
    FView->Available = {0};
    FPresenter->DoubleClicked(sctAvailable);
    QCOMPARE(Texts(*FPresenter).last(), QStringLiteral("- TBeta GuiAlpha.so [x]"));
    QVERIFY(!Enabled("actAddAll"));

    FView->Select({0});
    Run("actRemoveAll");
    Run("actAddAll");
    QCOMPARE(Texts(*FPresenter),
             QStringList({"Default Scenario [x]", "- TAlpha GuiAlpha.so [x]",
                          "- TBeta GuiAlpha.so [x]", "- TGamma GuiGamma.so [x]", "Smoke [ ]"}));
    QVERIFY(FPresenter->AvailableRows().empty());
  }

  void removeSelectedPassesOverScenarioRowsAndKeepsPositions() {
    Compose();
    Saved();
    // Scenario rows selected with unit-test rows stay; the rows past the new
    // end land on the last row.
    FView->Select({0, 2, 3, 4});
    FPresenter->DoubleClicked(sctScenarios);
    QVERIFY(FProject->Modified());
    QCOMPARE(Texts(*FPresenter),
             QStringList({"Default Scenario [x]", "- TAlpha GuiAlpha.so [x]", "Smoke [ ]"}));
    QCOMPARE(AvailableTexts(*FPresenter), QStringList({"TBeta", "TGamma"}));
    QVERIFY(!UnitTest(0, "TBeta")->Enabled());
    QCOMPARE(FView->Selected, std::vector<int>({0, 2, 2, 2}));
    QCOMPARE(FView->Current, 0);
    FView->Select({});
    QVERIFY(!Enabled("actRemoveSelected"));
  }

  void removeAllEmptiesEveryScenario() {
    Compose();
    FView->Select({3}); // Smoke is current; Default Scenario is emptied too
    Saved();
    Run("actRemoveAll");
    QVERIFY(FProject->Modified());
    QCOMPARE(Texts(*FPresenter), QStringList({"Default Scenario [ ]", "Smoke [ ]"}));
    QCOMPARE(AvailableTexts(*FPresenter), QStringList({"TAlpha", "TBeta", "TGamma"}));
    QCOMPARE(FView->Selected, std::vector<int>{1});
  }

  void dropsGoBetweenTheTwoTreesOnly() {
    QVERIFY(TScenariosPresenter::AcceptsDrag(sctScenarios, sctAvailable));
    QVERIFY(TScenariosPresenter::AcceptsDrag(sctAvailable, sctScenarios));
    QVERIFY(!TScenariosPresenter::AcceptsDrag(sctScenarios, sctScenarios));
    QVERIFY(!TScenariosPresenter::AcceptsDrag(sctAvailable, sctAvailable));
    QVERIFY(!TScenariosPresenter::AcceptsDrag(sctScenarios, sctOther));
    QVERIFY(!TScenariosPresenter::AcceptsDrag(sctAvailable, sctOther));

    Compose();
    Scenario("Default Scenario")->RemoveUnitTest(UnitTest(0, "TBeta"));
    FPresenter->RefreshAll();
    // A drop outside every row changes nothing.
    Saved();
    FView->Available = {0};
    FPresenter->DropOnScenarios(-1);
    QVERIFY(!FProject->Modified());
    // A drop on a unit-test row of Smoke while Default Scenario is current.
    FView->Select({0});
    FPresenter->DropOnScenarios(3);
    QVERIFY(FProject->Modified());
    QCOMPARE(Texts(*FPresenter).mid(2),
             QStringList({"Smoke [x]", "- TGamma GuiGamma.so [ ]", "- TBeta GuiAlpha.so [x]"}));
    // Scenario rows dropped on the available list: only unit tests leave.
    FView->Select({0, 1, 2, 3});
    FPresenter->DropOnAvailable();
    QCOMPARE(Texts(*FPresenter),
             QStringList({"Default Scenario [ ]", "Smoke [x]", "- TBeta GuiAlpha.so [x]"}));
    QCOMPARE(AvailableTexts(*FPresenter), QStringList({"TAlpha", "TGamma"}));
  }

  void deactivateDropsTheRows() {
    Compose();
    FPresenter->Deactivate();
    QVERIFY(FPresenter->Rows().empty() && FPresenter->AvailableRows().empty());
    QCOMPARE(FPresenter->Project(), nullptr);
    FView->Select({0});
    QVERIFY(!Enabled("actAddScenario") && !Enabled("actEnable") && !Enabled("actRemoveAll"));
    FPresenter->CheckToggled(0, false);
    QVERIFY(Scenario("Default Scenario")->Enabled());
  }

  void unloadedModulesVanishAndComeBackWhereTheyWere() {
    Compose();
    FPresenter->Deactivate();
    TModule* Alpha = FProject->Modules()[0];
    Alpha->UnloadModule(); // what the modules view does meanwhile
    FPresenter->Activate(FProject.get());
    // Left without enabled unit tests, Default Scenario is disabled.
    QCOMPARE(Texts(*FPresenter),
             QStringList({"Default Scenario [ ]", "Smoke [ ]", "- TGamma GuiGamma.so [ ]"}));
    QVERIFY(FPresenter->AvailableRows().empty());
    FPresenter->Deactivate();
    QVERIFY(Alpha->LoadModule());
    std::string Report;
    QVERIFY(FProject->LoadAssignments(Alpha, Report));
    FPresenter->Activate(FProject.get());
    QCOMPARE(Texts(*FPresenter),
             QStringList({"Default Scenario [x]", "- TAlpha GuiAlpha.so [x]",
                          "- TBeta GuiAlpha.so [x]", "Smoke [ ]", "- TGamma GuiGamma.so [ ]"}));
  }

  void savedScenariosComeBackFromTheFile() {
    Compose();
    // Composed through the commands: a new scenario with TBeta, TAlpha disabled.
    FDialogs->InputAnswers = {QStringLiteral("Nightly")};
    Run("actAddScenario");
    FView->Select({2});
    Run("actRemoveSelected");
    FView->Select({1});
    Run("actDisable");
    FView->Select({4});
    FView->Available = {0};
    Run("actAddSelected");
    const QStringList Composed = Texts(*FPresenter);
    QCOMPARE(Composed,
             QStringList({"Default Scenario [ ]", "- TAlpha GuiAlpha.so [ ]", "Smoke [ ]",
                          "- TGamma GuiGamma.so [ ]", "Nightly [x]", "- TBeta GuiAlpha.so [x]"}));
    Saved();

    FPresenter->Deactivate();
    const std::string FileName = FProject->FileName();
    FProject.reset(); // unloads the modules
    TOpenProjectResult Opened = OpenProject(FileName);
    QVERIFY2(Opened.Success, Opened.Error.c_str());
    FProject = std::move(Opened.Project);
    FPresenter->Activate(FProject.get());
    QCOMPARE(Texts(*FPresenter), Composed);
    QVERIFY(FPresenter->AvailableRows().empty());
  }
};

QTEST_GUILESS_MAIN(TScenariosPresenterTest)
#include "ScenariosPresenterTest.moc"
