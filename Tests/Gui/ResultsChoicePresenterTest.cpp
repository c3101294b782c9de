// The results view's choice of what runs, without widgets: the filter over
// the tree's rows, Run Selected, Run Failed and the last run again, on the
// fixture's five scenarios. The failures' commands are in
// ResultsFailuresPresenterTest.
#include "ResultsPresenterFixture.h"

#include "ChosenMethods.h"
#include "ProgressPresenter.h"
#include "ProgressRun.h"

using namespace Kalvoro;
using namespace ResultsPresenterTests;

// Runs the tests of ResultsFailuresPresenterTest.cpp.
int RunResultsFailuresTests(int argc, char** argv);

class TResultsChoicePresenterTest : public QObject, protected TResultsFixture {
  Q_OBJECT

  // The texts of the rows that the filter shows.
  QStringList ShownTexts() {
    QStringList Result;
    for (int Row = 0; Row < static_cast<int>(FPresenter->Rows().size()); ++Row)
      if (FPresenter->RowShown(Row))
        Result << FPresenter->Rows()[static_cast<std::size_t>(Row)].Text;
    return Result;
  }
  const TCommand& Command(const char* aName) {
    return FindCommand(FPresenter->Commands(), QLatin1String(aName));
  }
  // The outer lines of the log: each scenario's BEGIN and END.
  QStringList Outer() {
    QStringList Result;
    for (const QString& Line : Masked(Lines(pkLog)))
      if (!Line.startsWith(QLatin1Char(' ')))
        Result << Line;
    return Result;
  }

private slots:
  void init() { SetUp(); }

  void cleanup() { TearDown(); }

  void TheFilterShowsMatchingRowsWithTheirParentsAndTheirMatchedParentsChildren() {
    FPresenter->Activate(FProject.get());
    QVERIFY(Command("actStartAll").Run());
    const struct {
      const char* Text;
      unsigned Results;
      QStringList Shown;
    } Cases[] = {
        // A part of a name, in any case; a unit test's match shows its methods.
        {"testadd",
         rtAllResults,
         {"Default Scenario", "TPassing", "TestAdd", "Later", "TSkipped", "TestAdd"}},
        {"MIXED", rtAllResults, {"Default Scenario", "TMixed", "TestPass", "TestFail"}},
        // With '*' or '?' the glob covers the whole name.
        {"test?ail", rtAllResults, {"Default Scenario", "TMixed", "TestFail"}},
        {"*raise", rtAllResults, {"Broken", "TRaising", "TestRaise"}},
        {"raise*x", rtAllResults, {}},
        // The result toggles, alone and with text.
        {"", rtFailed, {"Default Scenario", "TMixed", "TestFail"}},
        {"", rtException, {"Broken", "TRaising", "TestRaise"}},
        {"", rtNotRun, {"Empty", "Later", "TSkipped", "TestAdd"}},
        {"",
         rtSuccess | rtFailed,
         {"Default Scenario", "TPassing", "TestAdd", "TMixed", "TestPass", "TestFail"}},
        {"pass", rtSuccess, {"Default Scenario", "TPassing", "TestAdd", "TMixed", "TestPass"}},
        {"raise", rtSuccess, {}},
        {"", 0, {}},
    };
    for (const auto& Case : Cases) {
      const int Before = FView.Filtered;
      FPresenter->SetFilter(QLatin1String(Case.Text), Case.Results);
      QCOMPARE(FView.Filtered, Before + 1);
      QVERIFY2(ShownTexts() == Case.Shown, Case.Text);
    }
    // An empty box with every result hides nothing: the tree comes back whole.
    FPresenter->SetFilter(QString());
    QVERIFY(FPresenter->HiddenRows().empty());
    QCOMPARE(ShownTexts().size(), static_cast<qsizetype>(FPresenter->Rows().size()));
    // A filter holds across runs: after Run Failed the toggles see new results.
    FPresenter->SetFilter(QString(), rtSuccess);
    QVERIFY(Command("actStartAll").Run());
    QCOMPARE(ShownTexts(),
             QStringList({"Default Scenario", "TPassing", "TestAdd", "TMixed", "TestPass"}));
  }

  void RunSelectedRunsTheSelectedRowsMethodsInOneRunAndTheRestShowNotRun() {
    FPresenter->Activate(FProject.get());
    // One window over the run: the scenarios it ran, its total and the
    // methods it counted done.
    QStringList Totals;
    FPresenter->SetWholeRunStep([&Totals](const TWholeRun& aRun) {
      TProgressPresenter Progress(aRun.Scenarios);
      QStringList Ran;
      Progress.RunAll(aRun.Hosts, aRun.RunAll, [&](TTestScenario& aScenario) {
        Ran << QString::fromStdString(Progress.ScenarioName());
        aRun.RunOne(aScenario);
      });
      Totals << QStringLiteral("%1 %2/%3")
                    .arg(Ran.join(QLatin1Char('+')))
                    .arg(Progress.Position())
                    .arg(Progress.Maximum());
    });
    const TCommand& RunSelected = Command("actRunSelected");
    QCOMPARE(RunSelected.Shortcut, QKeySequence(QStringLiteral("Ctrl+R")));
    const struct {
      std::vector<int> Selected;
      QStringList Totals;  // one window each
      QStringList Results; // of rows 1 to 12 that ran, the rest TODO
    } Cases[] = {
        // A method alone; the rest of its scenario shows not run.
        {{5}, {"Default Scenario 1/1"}, {"TMixed=FAILURE", "TestFail=FAILURE"}},
        // A unit test takes its methods; a scenario its enabled unit tests.
        {{3}, {"Default Scenario 2/2"}, {"TMixed=FAILURE", "TestPass=SUCCESS", "TestFail=FAILURE"}},
        {{0},
         {"Default Scenario 3/3"},
         {"TPassing=SUCCESS", "TestAdd=SUCCESS", "TMixed=FAILURE", "TestPass=SUCCESS",
          "TestFail=FAILURE"}},
        // Rows of two scenarios: one run over both, in the tree's order.
        {{8, 2},
         {"Default Scenario+Broken 2/2"},
         {"TPassing=SUCCESS", "TestAdd=SUCCESS", "TRaising=EXCEPTION", "TestRaise=EXCEPTION"}},
        // A disabled unit test runs when its own row is selected.
        {{11}, {"Later 1/1"}, {"TSkipped=SUCCESS", "TestAdd=SUCCESS"}},
    };
    for (const auto& Case : Cases) {
      FView.Selected = Case.Selected;
      Totals.clear();
      QVERIFY(RunSelected.Enabled());
      QVERIFY(RunSelected.Run());
      QCOMPARE(Totals, Case.Totals);
      QStringList Ran;
      for (std::size_t Row = 1; Row < FPresenter->Rows().size(); ++Row) {
        const TResultRow& Each = FPresenter->Rows()[Row];
        if (Each.Kind != rrkScenario && Each.Status != QStringLiteral("TODO"))
          Ran << Each.Text + QLatin1Char('=') + Each.Status;
      }
      QCOMPARE(Ran, Case.Results);
    }
    // The log holds the last run only; the disabled unit test stays disabled
    // and no scenario keeps the run's plan.
    QCOMPARE(Outer(), QStringList({"BEGIN Later (T)", "END Later (T)"}));
    QVERIFY(!FUnitTests[3]->Enabled());
    for (TTestScenario* Each : FProject->Scenarios())
      QCOMPARE(Each->RunPlan(), nullptr);
    // A method's own row names it (a test that its framework runs only by
    // name runs then); one taken through its scenario's row does not.
    const TChosenMethods Chosen = TChosenMethods::Selected(FPresenter->Rows(), {5, 0});
    const TUnitTestBase& Mixed = *FPresenter->Rows()[3].UnitTest;
    QCOMPARE(Chosen.Count(), 3);
    QCOMPARE(std::make_pair(Chosen.Named(Mixed, 0), Chosen.Named(Mixed, 1)),
             std::make_pair(false, true));
    QVERIFY(!Chosen.Named(*FPresenter->Rows()[1].UnitTest, 0));
    // Nothing to run: no selection, an empty scenario, a scenario whose only
    // unit test is disabled.
    for (const std::vector<int>& Selected : {std::vector<int>{}, {9}, {10}}) {
      FView.Selected = Selected;
      QVERIFY(!RunSelected.Enabled());
    }
  }

  void RunFailedRunsOnlyTheMethodsThatFailedOrRaisedInTheLastRun() {
    FPresenter->Activate(FProject.get());
    const TCommand& RunFailed = Command("actRunFailed");
    QCOMPARE(RunFailed.Shortcut, QKeySequence(QStringLiteral("Ctrl+Shift+R")));
    QVERIFY(!RunFailed.Enabled());
    QVERIFY(Command("actStartAll").Run());
    QVERIFY(RunFailed.Enabled());
    QVERIFY(RunFailed.Run());
    QCOMPARE(Statuses(),
             QStringList({"Default Scenario=FAILURE", "TPassing=TODO", "TestAdd=TODO",
                          "TMixed=FAILURE", "TestPass=TODO", "TestFail=FAILURE", "Broken=EXCEPTION",
                          "TRaising=EXCEPTION", "TestRaise=EXCEPTION", "Empty=TODO", "Later=TODO",
                          "TSkipped=TODO", "TestAdd=TODO"}));
    QCOMPARE(Outer(), QStringList({"BEGIN Default Scenario (T)", "END Default Scenario (T)",
                                   "BEGIN Broken (T)", "END Broken (T)"}));
    QCOMPARE(Texts(Lines(pkErrors)), QStringList({"FAILURE (TMixed.TestFail) fails",
                                                  "EXCEPTION (TRaising.TestRaise) raised"}));
  }

  // After a reload the last run runs again: the same scenario, or the same
  // rows by their names, with the same log.
  void TheLastRunRunsAgainAsItRanFirst() {
    FPresenter->Activate(FProject.get());
    FPresenter->RepeatLastRun();
    QVERIFY(!FPresenter->HasLastRun());
    QVERIFY(Lines(pkLog).empty());
    const struct {
      const char* Command;
      std::vector<int> Selected; // the current row first
    } Cases[] = {
        {"actStart", {6}}, {"actStartAll", {}}, {"actRunSelected", {2, 7}}, {"actRunFailed", {}}};
    for (const auto& Case : Cases) {
      FView.Selected = Case.Selected;
      FView.Current = Case.Selected.empty() ? -1 : Case.Selected.front();
      QVERIFY2(FindCommand(FPresenter->Commands(), QLatin1String(Case.Command)).Run(),
               Case.Command);
      const QStringList Log = Masked(Lines(pkLog));
      const QStringList Results = Statuses();
      // Another row is current meanwhile, and the pages are empty.
      FView.Current = 0;
      FView.Selected = {0};
      FPresenter->ClearOutput();
      FPresenter->RepeatLastRun();
      QCOMPARE(Masked(Lines(pkLog)), Log);
      QCOMPARE(Statuses(), Results);
    }
  }

  // The progress window's run: in process it cannot be stopped; it runs the
  // first time it is started only; it succeeds when every scenario finished
  // and no error ended it, whose error it keeps for the caller.
  void TheProgressWindowsRunStartsOnceAndKeepsItsError() {
    const struct {
      const char* Name;
      bool RunsTheScenario;
      bool Raises;
      bool Succeeds;
    } Cases[] = {
        {"runs", true, false, true},
        {"raises", true, true, false},
        {"ends before the scenario", false, false, false},
    };
    for (const auto& Case : Cases) {
      int Runs = 0;
      TWholeRun Whole;
      Whole.Scenarios = {Scenario(0)};
      Whole.RunAll = [&](const TRunStep& aStep) {
        ++Runs;
        if (Case.RunsTheScenario)
          aStep(*Scenario(0));
      };
      Whole.RunOne = [&](TTestScenario& aScenario) {
        aScenario.Run();
        if (Case.Raises)
          throw Exception("the run broke");
      };
      TProgressRun Run(Whole);
      QVERIFY(!Run.InHosts());
      QVERIFY(!Run.Started());
      QVERIFY2(Run.Start() == Case.Succeeds, Case.Name);
      QVERIFY2(Run.Start() == Case.Succeeds, Case.Name);
      QVERIFY(Run.Started());
      QCOMPARE(Runs, 1);
      QCOMPARE(Run.Presenter().Position(), Case.RunsTheScenario ? 3 : 0);
      QVERIFY2(static_cast<bool>(Run.Error()) == Case.Raises, Case.Name);
      if (Case.Raises)
        QVERIFY_THROWS_EXCEPTION(Exception, std::rethrow_exception(Run.Error()));
    }
    TProgressRun One(*Scenario(1), nullptr);
    QVERIFY(One.Start());
    QCOMPARE(One.Presenter().ScenarioName(), std::string("Broken"));
  }
};

// One test program for both halves of the ResultsChoicePresenter tests.
int main(int argc, char** argv) {
  QCoreApplication Application(argc, argv);
  Application.setAttribute(Qt::AA_Use96Dpi, true);
  TResultsChoicePresenterTest Tests;
  const int Failed = QTest::qExec(&Tests, argc, argv);
  return Failed + RunResultsFailuresTests(argc, argv);
}
#include "ResultsChoicePresenterTest.moc"
