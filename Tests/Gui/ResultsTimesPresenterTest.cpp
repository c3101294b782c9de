// The results tree's Duration column, its order by time, and the new and
// fixed marks of methods against their previous run, with the methods' times
// taken from a clock that the tests' methods move on.
#include "ResultsPresenterFixture.h"

#include "ResultTimes.h"

#include <chrono>

using namespace Kalvoro;
using namespace ResultsPresenterTests;

namespace {

// The pinned clock: a method moves it on by the time it "takes".
std::chrono::nanoseconds Now{};
void Take(double aMilliseconds) {
  Now += std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::duration<double, std::milli>(aMilliseconds));
}

class TTimed : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestQuick);
    REGISTER_METHOD(TestSlow);
    REGISTER_METHOD(TestMiddle);
  }
  void TestQuick() { Take(2); }
  void TestSlow() { Take(1500); }
  void TestMiddle() { Take(40); }
};

class TQuick : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestOnce); }
  void TestOnce() { Take(0.5); }
};

// Each method ends as the current run's column of its line says.
enum TOutcome { oPass, oFail, oRaise };
TOutcome Outcomes[4][4]; // [method][run]
int RunIndex = 0;

class TFlaky : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(Test0);
    REGISTER_METHOD(Test1);
    REGISTER_METHOD(Test2);
    REGISTER_METHOD(Test3);
  }
  void Test0() { Outcome(0, *this); }
  void Test1() { Outcome(1, *this); }
  void Test2() { Outcome(2, *this); }
  void Test3() { Outcome(3, *this); }

private:
  static void Outcome(int aMethod, TFlaky& aTest) {
    switch (Outcomes[aMethod][RunIndex]) {
    case oPass:
      aTest.Check(true, "holds");
      break;
    case oFail:
      aTest.Check(false, "breaks");
      break;
    case oRaise:
      throw Exception("raised");
    }
  }
};

} // namespace

class TResultsTimesPresenterTest : public QObject, protected TResultsFixture {
  Q_OBJECT

  // "Text=Duration" of each row, in the rows' order.
  QStringList Durations() {
    QStringList Result;
    for (const TResultRow& Row : FPresenter->Rows())
      Result << Row.Text + QLatin1Char('=') + Row.Duration;
    return Result;
  }
  // The rows of one level under the first row named aParent (or the top
  // level for an empty name), by text.
  QStringList Level(const QString& aParent, int aLevel) {
    QStringList Result;
    bool Inside = aParent.isEmpty();
    for (const TResultRow& Row : FPresenter->Rows()) {
      if (Row.Level() == aLevel - 1)
        Inside = aParent.isEmpty() || Row.Text == aParent;
      else if (Inside && Row.Level() == aLevel)
        Result << Row.Text;
    }
    return Result;
  }
  bool Run(const char* aCommand) {
    return FindCommand(FPresenter->Commands(), QLatin1String(aCommand)).Run();
  }

private slots:
  void init() {
    SetUp();
    Now = {};
    FPresenter->SetClock([] { return Now; });
  }
  void cleanup() { TearDown(); }

  void DurationsReadInUnitsThatFitTheirSize() {
    const struct {
      double Milliseconds;
      const char* Text;
    } Cases[] = {{-1, ""},         {0, "0.00 ms"},        {0.42, "0.42 ms"},     {0.996, "1.0 ms"},
                 {3.46, "3.5 ms"}, {9.96, "10 ms"},       {120.4, "120 ms"},     {999.6, "1.00 s"},
                 {2349, "2.35 s"}, {59996, "1 min 00 s"}, {185000, "3 min 05 s"}};
    for (const auto& Case : Cases)
      QCOMPARE(DurationText(Case.Milliseconds), QString::fromLatin1(Case.Text));
  }

  // A method's time runs from its Init to its Exit; a unit test's and a
  // scenario's are the sums of what ran; rows not run show none.
  void TheDurationColumnShowsEachMethodsTimeAndTheSumsAboveIt() {
    TTestScenario* Timed = FProject->Scenarios().AddByName("Timed");
    Add(MakeUnitTest<TTimed>(&FModule, "TTimed"), Timed);
    Add(MakeUnitTest<TQuick>(&FModule, "TQuick"), Timed);
    FPresenter->Activate(FProject.get());
    QVERIFY(Durations().filter(QRegularExpression(QStringLiteral("=.+"))).isEmpty());
    QVERIFY(Run("actStartAll"));
    const QStringList Expected = {"Default Scenario=0.00 ms",
                                  "TPassing=0.00 ms",
                                  "TestAdd=0.00 ms",
                                  "TMixed=0.00 ms",
                                  "TestPass=0.00 ms",
                                  "TestFail=0.00 ms",
                                  "Broken=0.00 ms",
                                  "TRaising=0.00 ms",
                                  "TestRaise=0.00 ms",
                                  "Empty=",
                                  "Later=",
                                  "TSkipped=",
                                  "TestAdd=",
                                  "Timed=1.54 s",
                                  "TTimed=1.54 s",
                                  "TestQuick=2.0 ms",
                                  "TestSlow=1.50 s",
                                  "TestMiddle=40 ms",
                                  "TQuick=0.50 ms",
                                  "TestOnce=0.50 ms"};
    QCOMPARE(Durations(), Expected);
    // The details pane says the same.
    QVERIFY(FPresenter->Details(16).contains(QStringLiteral("Duration: 1.50 s")));
  }

  void SortingByDurationOrdersEachLevelSlowestFirstAndRestoresTheRunOrder() {
    TTestScenario* Timed = FProject->Scenarios().AddByName("Timed");
    Add(MakeUnitTest<TQuick>(&FModule, "TQuick"), Timed);
    Add(MakeUnitTest<TTimed>(&FModule, "TTimed"), Timed);
    FPresenter->Activate(FProject.get());
    QVERIFY(Run("actStartAll"));
    const QStringList RunOrder = Durations();
    const int Rebuilt = FView.Rebuilt;
    FPresenter->ToggleDurationSort();
    QVERIFY(FPresenter->SortedByDuration());
    QCOMPARE(FView.Rebuilt, Rebuilt + 1);
    // Equal times keep the run order; what did not run goes last.
    const struct {
      const char* Parent;
      int Level;
      QStringList Order;
    } Cases[] = {{"", 0, {"Timed", "Default Scenario", "Broken", "Empty", "Later"}},
                 {"Timed", 1, {"TTimed", "TQuick"}},
                 {"TTimed", 2, {"TestSlow", "TestMiddle", "TestQuick"}},
                 {"TMixed", 2, {"TestPass", "TestFail"}}};
    for (const auto& Case : Cases)
      QCOMPARE(Level(QString::fromLatin1(Case.Parent), Case.Level), Case.Order);
    // Each row is still followed by its own children.
    QCOMPARE(FPresenter->Rows()[1].UnitTest->Name(), "TTimed");
    QCOMPARE(FPresenter->Rows()[2].Method->Name(), "TestSlow");
    // Run Failed takes the run order, not the tree's.
    QVERIFY(Run("actRunFailed"));
    QVERIFY(FPresenter->SortedByDuration());
    FPresenter->ToggleDurationSort();
    QVERIFY(!FPresenter->SortedByDuration());
    QCOMPARE(Level(QString(), 0),
             QStringList({"Default Scenario", "Broken", "Empty", "Later", "Timed"}));
    QCOMPARE(Durations().size(), RunOrder.size());
  }

  // Each method against the last run in which it ran: Run Failed runs a few,
  // and those left out keep their last result for the next comparison.
  void NewAndFixedMarksFollowTheLastRunInWhichAMethodRan() {
    TTestScenario* Flaky = FProject->Scenarios().AddByName("Flaky");
    Add(MakeUnitTest<TFlaky>(&FModule, "TFlaky"), Flaky);
    const struct {
      TOutcome Runs[4]; // Start All, Start All, Run Failed, Start All
      TResultMark Marks[4];
    } Cases[] = {
        // Fails after passing: new; passes then (Run Failed): fixed.
        {{oPass, oFail, oPass, oPass}, {rmNone, rmNew, rmFixed, rmNone}},
        // Raises after passing: new; left out of Run Failed, fails against
        // the run before: new again.
        {{oPass, oPass, oPass, oRaise}, {rmNone, rmNone, rmNone, rmNew}},
        // Passes after raising: fixed; failing twice or failure after
        // exception: no mark.
        {{oRaise, oPass, oPass, oPass}, {rmNone, rmFixed, rmNone, rmNone}},
        {{oFail, oRaise, oFail, oPass}, {rmNone, rmNone, rmNone, rmFixed}},
    };
    for (int Method = 0; Method < 4; ++Method)
      for (int Run = 0; Run < 4; ++Run)
        Outcomes[Method][Run] = Cases[Method].Runs[Run];
    FPresenter->Activate(FProject.get());
    const char* const Commands[] = {"actStartAll", "actStartAll", "actRunFailed", "actStartAll"};
    for (RunIndex = 0; RunIndex < 4; ++RunIndex) {
      QVERIFY(Run(Commands[RunIndex]));
      const std::vector<TResultRow>& Rows = FPresenter->Rows();
      const int First = static_cast<int>(Rows.size()) - 4;
      for (int Method = 0; Method < 4; ++Method) {
        const TResultRow& Row = Rows[static_cast<std::size_t>(First + Method)];
        const TResultMark Mark = Cases[Method].Marks[RunIndex];
        QCOMPARE(Row.Mark, Mark);
        const TResultTreeImage Image =
            Mark == rmFixed ? rtiFixed
            : Mark == rmNew
                ? (Row.Method->TestResult() == tcrException ? rtiNewException : rtiNewFailure)
                : ResultImageIndex(Row.Method->TestResult());
        QCOMPARE(Row.StatusImage, Image);
        QCOMPARE(FPresenter->Details(First + Method).contains(MarkText(Mark)), Mark != rmNone);
      }
    }
    // Another project is another session: no marks.
    TProject Other;
    FPresenter->Activate(&Other);
    FPresenter->Activate(FProject.get());
    for (const TResultRow& Row : FPresenter->Rows())
      QCOMPARE(Row.Mark, rmNone);
  }
};

QTEST_GUILESS_MAIN(TResultsTimesPresenterTest)
#include "ResultsTimesPresenterTest.moc"
