// The scenarios view's logic without widgets, the scenarios themselves: the
// rows of both trees, the target scenario, the commands' captions, images,
// shortcuts and hints, Add, Rename and Remove, Enable and Disable, the check
// boxes, with scripted dialogs and a stand-in for the view's selection.
#include "ScenariosTestSupport.h"

using namespace Kalvoro;

class TScenariosPresenterTest : public QObject, private TScenariosFixture {
  Q_OBJECT

private slots:
  void init() { Setup(); }
  void cleanup() { TearDown(); }

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

  // Where a node stands in the tree (its scenario's place, its own under it)
  // gives its flat row; selected rows reach the tree as ranges of neighbours
  // under one parent.
  void rowsAreFoundByTheirPlaceAndSelectedInRangesUnderOneParent() {
    Compose();
    const TScenarioRowIndex& Index = FPresenter->RowIndex();
    const struct {
      int Scenario, UnitTest, Row;
    } Places[] = {{0, -1, 0}, {0, 1, 2}, {1, -1, 3}, {1, 0, 4}, {2, -1, -1}, {-1, -1, -1}};
    for (const auto& Place : Places)
      QCOMPARE(Index.RowOf(Place.Scenario, Place.UnitTest), Place.Row);
    const struct {
      std::vector<int> Selected;
      std::vector<TRowRange> Ranges;
    } Cases[] = {
        {{0, 1, 2, 3, 4}, {{0, 0}, {1, 2}, {3, 3}, {4, 4}}},
        {{2, 3}, {{2, 2}, {3, 3}}},
        {{0, 3}, {{0, 0}, {3, 3}}},
        {{-1, 1, 4, 7}, {{1, 1}, {4, 4}}},
    };
    for (const auto& Case : Cases)
      QVERIFY(SelectedRanges(FPresenter->Rows(), Case.Selected) == Case.Ranges);
    FPresenter->Deactivate();
    QCOMPARE(FPresenter->RowIndex().RowOf(0), -1);
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
};

QTEST_GUILESS_MAIN(TScenariosPresenterTest)
#include "ScenariosPresenterTest.moc"
