// The scenarios view's logic without widgets, moving unit tests: Add Selected
// and Add All into the target scenario, Remove Selected and Remove All, drops
// and double-clicks, the selection kept by position, modules unloaded and
// loaded again, and the composed scenarios saved and read back.
#include "ScenariosTestSupport.h"

using namespace Kalvoro;

class TScenariosMovesPresenterTest : public QObject, private TScenariosFixture {
  Q_OBJECT

private slots:
  void init() { Setup(); }
  void cleanup() { TearDown(); }

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

  void underAFilterTheCommandsAndDropsMoveAndSwitchOnlyTheRowsShown() {
    const struct {
      bool Emptied; // every scenario emptied first, so that all are available
      const char* ScenariosFilter;
      const char* AvailableFilter;
      std::vector<int> Selected;
      std::vector<int> Available;
      const char* Command; // null: a drop of the available rows on row 0
      QStringList Rows;
      QStringList Left;
    } Cases[] = {
        // Disable on a scenario row switches its shown unit tests only.
        {false,
         "beta",
         "",
         {0},
         {},
         "actDisable",
         {"Default Scenario [x]", "- TAlpha GuiAlpha.so [x]", "- TBeta GuiAlpha.so [ ]",
          "Smoke [ ]", "- TGamma GuiGamma.so [ ]"},
         {}},
        // A hidden selected row stays where it is.
        {false,
         "beta",
         "",
         {1, 2},
         {},
         "actRemoveSelected",
         {"Default Scenario [x]", "- TAlpha GuiAlpha.so [x]", "Smoke [ ]",
          "- TGamma GuiGamma.so [ ]"},
         {"TBeta"}},
        {false,
         "gamma",
         "",
         {3},
         {},
         "actRemoveAll",
         {"Default Scenario [x]", "- TAlpha GuiAlpha.so [x]", "- TBeta GuiAlpha.so [x]",
          "Smoke [ ]"},
         {"TGamma"}},
        {true,
         "",
         "alpha",
         {0},
         {},
         "actAddAll",
         {"Default Scenario [x]", "- TAlpha GuiAlpha.so [x]", "Smoke [ ]"},
         {"TBeta", "TGamma"}},
        {true,
         "",
         "alpha",
         {0},
         {0, 1, 2},
         "actAddSelected",
         {"Default Scenario [x]", "- TAlpha GuiAlpha.so [x]", "Smoke [ ]"},
         {"TBeta", "TGamma"}},
        {true,
         "",
         "alpha",
         {0},
         {0, 1, 2},
         nullptr,
         {"Default Scenario [x]", "- TAlpha GuiAlpha.so [x]", "Smoke [ ]"},
         {"TBeta", "TGamma"}},
    };
    for (const auto& Case : Cases) {
      TearDown();
      Setup();
      Compose();
      if (Case.Emptied)
        Run("actRemoveAll");
      FPresenter->SetFilter(sctScenarios, QLatin1String(Case.ScenariosFilter));
      FPresenter->SetFilter(sctAvailable, QLatin1String(Case.AvailableFilter));
      FView->Select(Case.Selected);
      FView->Available = Case.Available;
      if (Case.Command != nullptr)
        Run(Case.Command);
      else
        FPresenter->DropOnScenarios(0);
      QCOMPARE(Texts(*FPresenter), Case.Rows);
      QCOMPARE(AvailableTexts(*FPresenter), Case.Left);
    }
    // Nothing shown in the available list: nothing to add.
    FPresenter->SetFilter(sctAvailable, QStringLiteral("none"));
    QVERIFY(!Enabled("actAddAll"));
  }

  // Scenarios that were empty already keep their check box as it was.
  void removeAllEmptiesEveryScenario() {
    Compose();
    FProject->Scenarios().AddByName("Empty on")->SetEnabled(true);
    FProject->Scenarios().AddByName("Empty off")->SetEnabled(false);
    FPresenter->Activate(FProject.get());
    FView->Select({3}); // Smoke is current; Default Scenario is emptied too
    Saved();
    Run("actRemoveAll");
    QVERIFY(FProject->Modified());
    QCOMPARE(Texts(*FPresenter),
             QStringList({"Default Scenario [ ]", "Smoke [ ]", "Empty on [x]", "Empty off [ ]"}));
    QCOMPARE(AvailableTexts(*FPresenter), QStringList({"TAlpha", "TBeta", "TGamma"}));
    QCOMPARE(FView->Selected, std::vector<int>{3}); // the same position
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

QTEST_GUILESS_MAIN(TScenariosMovesPresenterTest)
#include "ScenariosMovesPresenterTest.moc"
