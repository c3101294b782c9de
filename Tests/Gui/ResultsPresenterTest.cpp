// The results view's logic without widgets: the rows of its tree, the rules of
// Start and Start All, the runs in their order, a run that ends in an error
// and a test that calls exit, with scripted dialogs and plain runs.
#include "ResultsPresenterFixture.h"

#include <QFile>

#include <cstdlib>

using namespace Kalvoro;
using namespace ResultsPresenterTests;

namespace {
class TExiting : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestExit); }
  void TestExit() { std::exit(0); }
};
} // namespace

class TResultsPresenterTest : public QObject, protected TResultsFixture {
  Q_OBJECT

private slots:
  void init() { SetUp(); }
  void cleanup() { TearDown(); }

  void RowsShowEachScenarioWithTheWorstResultOfItsUnitTests() {
    FPresenter->Activate(FProject.get());
    const QStringList Before = {
        "Default Scenario=TODO", "TPassing=TODO", "TestAdd=TODO", "TMixed=TODO",
        "TestPass=TODO",         "TestFail=TODO", "Broken=TODO",  "TRaising=TODO",
        "TestRaise=TODO",        "Empty=TODO",    "Later=TODO",   "TSkipped=TODO",
        "TestAdd=TODO"};
    QCOMPARE(Statuses(), Before);
    const std::vector<TResultRow>& Rows = FPresenter->Rows();
    QCOMPARE(Rows[0].Kind, rrkScenario);
    QCOMPARE(Rows[0].Scenario, Scenario(0));
    QCOMPARE(Rows[0].Image, rtiScenario);
    QCOMPARE(Rows[1].Image, rtiUnitTest);
    QCOMPARE(Rows[1].UnitTest, FUnitTests[0].get());
    QCOMPARE(Rows[2].Image, rtiMethod);
    QCOMPARE(Rows[2].Method, FUnitTests[0]->Methods()[0]);
    QCOMPARE(Rows[2].Level(), 2);
    QCOMPARE(Rows[9].StatusImage, rtiTodo);

    QVERIFY(FindCommand(FPresenter->Commands(), QStringLiteral("actStartAll")).Run());
    // SUCCESS and FAILURE give FAILURE; an empty scenario and a disabled unit
    // test (its methods too) stay TODO.
    const QStringList After = {"Default Scenario=FAILURE",
                               "TPassing=SUCCESS",
                               "TestAdd=SUCCESS",
                               "TMixed=FAILURE",
                               "TestPass=SUCCESS",
                               "TestFail=FAILURE",
                               "Broken=EXCEPTION",
                               "TRaising=EXCEPTION",
                               "TestRaise=EXCEPTION",
                               "Empty=TODO",
                               "Later=TODO",
                               "TSkipped=TODO",
                               "TestAdd=TODO"};
    QCOMPARE(Statuses(), After);
    QCOMPARE(Rows[0].StatusImage, rtiFailure);
    QCOMPARE(Rows[1].StatusImage, rtiSuccess);
    QCOMPARE(Rows[6].StatusImage, rtiException);
    // Out-of-range results read as not run.
    QCOMPARE(ResultText(static_cast<TUnitTestResult>(9)), QStringLiteral("TODO"));
    QCOMPARE(ResultImageIndex(static_cast<TUnitTestResult>(9)), rtiTodo);
  }

  void StartRunsOnlyTheScenarioOfTheSelectedScenarioRow() {
    QVERIFY(!Enabled("actStart"));
    QVERIFY(!Enabled("actStartAll"));
    FPresenter->Activate(FProject.get());
    QCOMPARE(FView.Rebuilt, 1);
    QVERIFY(Enabled("actStartAll"));
    const TCommand& Start = FindCommand(FPresenter->Commands(), QStringLiteral("actStart"));
    QCOMPARE(Start.Shortcut, QKeySequence(QStringLiteral("Ctrl+S")));
    // No row, a unit-test row, a method row: disabled, and running does nothing.
    for (int Row : {-1, 1, 2}) {
      FView.Current = Row;
      QVERIFY(!Start.Enabled());
      QVERIFY(!Start.Run());
    }
    QVERIFY(Lines(pkLog).empty());
    QCOMPARE(FView.Rebuilt, 1);
    // The scenario row "Broken": only that scenario runs.
    FView.Current = 6;
    QVERIFY(Start.Enabled());
    QVERIFY(Start.Run());
    QCOMPARE(FView.Rebuilt, 2);
    QCOMPARE(Masked(Lines(pkLog)).first(), QStringLiteral("BEGIN Broken (T)"));
    QCOMPARE(Masked(Lines(pkLog)).last(), QStringLiteral("END Broken (T)"));
    QCOMPARE(FUnitTests[0]->TestResult(), tcrTodo);
    QCOMPARE(FUnitTests[2]->TestResult(), tcrException);
    // Without a project nothing can start.
    FPresenter->Deactivate();
    QVERIFY(FPresenter->Rows().empty());
    QVERIFY(!Enabled("actStart"));
    QVERIFY(!Enabled("actStartAll"));
    QVERIFY(!Lines(pkLog).empty());
  }

  void StartAllRunsEveryScenarioInOrderIntoFreshPages() {
    FPresenter->Activate(FProject.get());
    FView.Current = 0;
    QVERIFY(FindCommand(FPresenter->Commands(), QStringLiteral("actStart")).Run());
    QVERIFY(FindCommand(FPresenter->Commands(), QStringLiteral("actStartAll")).Run());
    const QStringList Log = Masked(Lines(pkLog));
    // The earlier run's lines are gone; each scenario, the disabled "Later"
    // too, has its BEGIN and END; "Empty" has nothing between them.
    QStringList Outer;
    for (const QString& Line : Log)
      if (!Line.startsWith(QLatin1Char(' ')))
        Outer << Line;
    QCOMPARE(Outer, QStringList({"BEGIN Default Scenario (T)", "END Default Scenario (T)",
                                 "BEGIN Broken (T)", "END Broken (T)", "BEGIN Empty (T)",
                                 "END Empty (T)", "BEGIN Later (T)", "END Later (T)"}));
    QCOMPARE(Log.indexOf(QStringLiteral("END Empty (T)")),
             Log.indexOf(QStringLiteral("BEGIN Empty (T)")) + 1);
    QCOMPARE(Texts(Lines(pkErrors)), QStringList({"FAILURE (TMixed.TestFail) fails",
                                                  "EXCEPTION (TRaising.TestRaise) raised"}));
    // Four summary reports, each opening with an empty line and the banner.
    const QStringList Summary = Texts(Lines(pkSummary));
    QCOMPARE(Summary.count(QStringLiteral("Kalvoro Console Summary")), 4);
    QCOMPARE(Summary.first(), QString());
    QCOMPARE(Summary.count(QStringLiteral("Total number of UnitTest Methods = 0")), 1);
    QVERIFY(Summary.contains(QStringLiteral("SKIPPED   TSkipped.TestAdd")));
    QCOMPARE(Summary.count(QStringLiteral("# Skipped    = 1")), 1);
    // Every sink left its scenario.
    for (TTestScenario* Each : FProject->Scenarios())
      QCOMPARE(Each->StateNotifications().Count(), 0);
  }

  void ARunThatRaisesStillShowsWhatRanAndFreesItsSink() {
    FProject->FileInfo().SetEnabled(pkSummary, true);
    FProject->FileInfo().SetFileName(pkSummary, InFolder(QStringLiteral("s.txt")).toStdString());
    FPresenter->Activate(FProject.get());
    // The second scenario's run fails after it ran.
    FPresenter->SetRunStep([](TTestScenario& aScenario, TKindRunner* /*aHosts*/) {
      aScenario.Run();
      if (aScenario.Name() == "Broken")
        throw Exception("out of memory");
    });
    QVERIFY_THROWS_EXCEPTION(Exception, FPresenter->StartAll());
    QCOMPARE(FPresenter->Rows()[0].Status, QStringLiteral("FAILURE"));
    QCOMPARE(FPresenter->Rows()[6].Status, QStringLiteral("EXCEPTION"));
    QCOMPARE(Masked(Lines(pkLog)).last(), QStringLiteral("END Broken (T)"));
    QCOMPARE(Texts(Lines(pkSummary)).count(QStringLiteral("Kalvoro Console Summary")), 1);
    QVERIFY(!QFile::exists(InFolder(QStringLiteral("s.txt"))));
    QCOMPARE(Scenario(1)->StateNotifications().Count(), 0);
  }

  // A test that calls exit ends its method, not Morvane: the run goes on.
  void ExitInATestMethodIsAnExceptionAndTheRunGoesOn() {
    TTestScenario* Exiting = FProject->Scenarios().AddByName("Exiting");
    Add(MakeUnitTest<TExiting>(&FModule, "TExiting"), Exiting);
    TUnitTestBase* After = Add(MakeUnitTest<TPassing>(&FModule, "TAfter"), Exiting);
    FPresenter->Activate(FProject.get());
    QVERIFY(FindCommand(FPresenter->Commands(), QStringLiteral("actStartAll")).Run());
    QVERIFY(
        Texts(Lines(pkErrors))
            .contains(QStringLiteral("EXCEPTION (TExiting.TestExit) exit(0) called by the test")));
    QCOMPARE(After->TestResult(), tcrSuccess);
  }
};

QTEST_GUILESS_MAIN(TResultsPresenterTest)
#include "ResultsPresenterTest.moc"
