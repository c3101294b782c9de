// What the progress window shows, without the window: its reactions to each
// progress message, the bar's total, repaints at most once a frame with the
// last state always shown, and a run that ends with an error.
#include "ProgressPresenter.h"

#include "NotificationMessages.h"
#include "ReportingTestSupport.h"

#include <QtTest>

#include <functional>
#include <memory>
#include <optional>

using namespace Kalvoro;

namespace {

// An Init that fails: its method does not run and sends no finish message.
class TBrokenInit : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestNeverRuns); }
  void Init() override { throw Exception("no fixture"); }
  void TestNeverRuns() {}
};

// Raises from inside the run when the given progress type arrives.
struct TRaisingHandler {
  TProgressType RaiseOn;
  void Handle(TMessageEventList*, const TCustomMessage& aMessage) {
    if (aMessage.GetId() == MessageIdProgress &&
        static_cast<const TProgressMessage&>(aMessage).ProgressType() == RaiseOn)
      throw Exception("handler raised");
  }
  TMessageEvent Event() { return MakeMessageEvent<&TRaisingHandler::Handle>(this); }
};

// A clock the test moves by hand.
struct TManualClock {
  std::shared_ptr<std::int64_t> Now = std::make_shared<std::int64_t>(0);
  TMilliseconds Function() const {
    return [Now = Now] { return *Now; };
  }
};

// A runner's progress outside the event list, set by hand: it tells the
// presenter of each change as a runner does.
struct TFakeProgress : IRunProgress {
  int Ahead = 0;
  std::optional<TRunningMethod> Oldest;
  std::function<void()> Hook;
  int MethodsFinishedAhead() const override { return Ahead; }
  bool OldestRunning(TRunningMethod& aMethod) const override {
    if (Oldest)
      aMethod = *Oldest;
    return Oldest.has_value();
  }
  void SetProgressHook(std::function<void()> aHook) override { Hook = std::move(aHook); }
};

// Records "unit test|method|position" at every repaint.
QStringList RecordRepaints(TProgressPresenter& aPresenter) {
  auto Repaints = std::make_shared<QStringList>();
  aPresenter.Repaint = [&aPresenter, Repaints] {
    *Repaints << QStringLiteral("%1|%2|%3")
                     .arg(QString::fromStdString(aPresenter.UnitTestName()),
                          QString::fromStdString(aPresenter.MethodName()))
                     .arg(aPresenter.Position());
  };
  aPresenter.Run();
  return *Repaints;
}

} // namespace

class TProgressPresenterTest : public QObject {
  Q_OBJECT

private slots:
  // With a clock that moves a frame per reading every change is shown: the
  // unit test's name, "Init", the method, "Exit", the bar after the Exit.
  // The disabled unit test counts nowhere and never shows.
  void EveryChangeShowsWhenFramesApart() {
    ReportingTest::TSampleScenario Sample;
    auto Now = std::make_shared<std::int64_t>(0);
    TProgressPresenter Presenter(Sample.Scenario, [Now] { return *Now += 16; });
    QCOMPARE(Presenter.Maximum(), 3);
    QCOMPARE(Presenter.ScenarioName(), std::string("Nightly"));
    const QStringList Expected = {
        "TMathTest||0",     "TMathTest|Init|0", "TMathTest|TestAdd|0",    "TMathTest|Exit|0",
        "TMathTest|Exit|1", "TMathTest|Init|1", "TMathTest|TestDivide|1", "TMathTest|Exit|1",
        "TMathTest|Exit|2", "TMathTest|Init|2", "TMathTest|TestModulo|2", "TMathTest|Exit|2",
        "TMathTest|Exit|3",
    };
    QCOMPARE(RecordRepaints(Presenter), Expected);
    QVERIFY(Presenter.Finished());
    QVERIFY(!Presenter.Registered());
    QCOMPARE(Sample.Scenario.StateNotifications().Count(), 0);
  }

  // Within one frame only the first change repaints at once; the rest wait
  // and the finish shows the last state. A waiting change is shown by the
  // next message of any kind once a frame has passed, and never twice.
  void RepaintsAtMostOnceAFrameAndEndWithTheLastState() {
    ReportingTest::TSampleScenario Sample;
    TProgressPresenter Still(Sample.Scenario, [] { return std::int64_t(5); });
    QCOMPARE(RecordRepaints(Still), (QStringList{"TMathTest||0", "TMathTest|Exit|3"}));

    TManualClock Clock;
    TProgressPresenter Presenter(Sample.Scenario, Clock.Function());
    int Repaints = 0;
    Presenter.Repaint = [&Repaints] { ++Repaints; };
    auto Send = [&Presenter](const TCustomMessage& aMessage) {
      Presenter.HandleMessage(nullptr, aMessage);
    };
    Send(TProgressMessage(ptUnitTestStart, "Nightly", "TMathTest", ""));
    QCOMPARE(Repaints, 1);
    *Clock.Now = 5;
    Send(TProgressMessage(ptMethodStart, "Nightly", "TMathTest", "TestSlow"));
    Send(TProgressMessage(ptInitFinish, "Nightly", "TMathTest", "Init")); // no change
    *Clock.Now = 10;
    Send(TReportMessage("working"));
    QCOMPARE(Repaints, 1);
    *Clock.Now = 21;
    Send(TReportMessage("still working"));
    QCOMPARE(Repaints, 2);
    QCOMPARE(Presenter.MethodName(), std::string("TestSlow"));
    *Clock.Now = 60;
    Send(TReportMessage("nothing new"));
    Presenter.FlushRepaint();
    QCOMPARE(Repaints, 2);
  }

  // A failed Init skips the method, but its Exit still runs and the method
  // counts, as on the console's progress bar: the bar ends full. A scenario
  // with nothing enabled has a total of 0 and still finishes.
  void BarCountsFinishedMethodsOfEnabledUnitTestsOnly() {
    TModule Module("sample.so");
    TTestScenario Scenario("Broken");
    TBrokenInit Broken(&Module);
    Broken.SetName("TBrokenInit");
    Broken.Register();
    Scenario.AddUnitTest(&Broken);
    {
      TProgressPresenter Presenter(Scenario);
      Presenter.Run();
      QCOMPARE(Presenter.Maximum(), 1);
      QCOMPARE(Presenter.Position(), 1);
      QVERIFY(Presenter.Finished());
    }
    Broken.SetEnabled(false);
    TProgressPresenter Disabled(Scenario);
    QCOMPARE(Disabled.Maximum(), 0);
    QCOMPARE(RecordRepaints(Disabled), QStringList());
    QVERIFY(Disabled.Finished());
    Scenario.RemoveAllUnitTests();

    TTestScenario Empty("Empty");
    TProgressPresenter None(Empty);
    None.Run();
    QCOMPARE(None.Maximum(), 0);
    QVERIFY(None.Finished());
  }

  // With several jobs a method counts when its host reports it done, before
  // the run writes it, and once only; the names are the oldest running
  // method's while the runner names one, else the event list's.
  void CountsMethodsFinishedAheadAndNamesTheOldestRunning() {
    ReportingTest::TSampleScenario Sample;
    TProgressPresenter Presenter(Sample.Scenario, [] { return std::int64_t(0); });
    TFakeProgress Fake;
    Presenter.SetRunProgress(&Fake);
    using TOldest = std::optional<TRunningMethod>;
    const TOldest None;
    const TOldest OneRuns = TRunningMethod{"TA", "TestOne"};
    const TOldest ThreeRuns = TRunningMethod{"TC", "TestThree"};
    // A step: the runner's state, then a progress message (or, with none,
    // the runner's own call), and what the window shows after it.
    struct TStep {
      int Ahead;
      TOldest Oldest;
      std::optional<TProgressType> Type;
      const char* UnitTest;
      const char* Phase;
      const char* Shown;
    };
    const TStep Steps[] = {
        {0, None, ptUnitTestStart, "TA", "", "TA||0"},
        {0, None, ptInitStart, "TA", "Init", "TA|Init|0"},
        {0, OneRuns, {}, "", "", "TA|TestOne|0"},
        {1, OneRuns, {}, "", "", "TA|TestOne|1"}, // TB finished ahead
        {1, OneRuns, ptMethodStart, "TA", "TestOne", "TA|TestOne|1"},
        {1, ThreeRuns, {}, "", "", "TC|TestThree|1"}, // TA's method ended
        {1, ThreeRuns, ptExitStart, "TA", "Exit", "TC|TestThree|1"},
        {1, ThreeRuns, ptExitFinish, "TA", "Exit", "TC|TestThree|2"},
        // TB is written: it leaves the runner's count as its Exit finishes.
        {1, ThreeRuns, ptUnitTestStart, "TB", "", "TC|TestThree|2"},
        {0, ThreeRuns, ptExitFinish, "TB", "Exit", "TC|TestThree|2"},
        {0, None, ptUnitTestStart, "TC", "", "TC|TestThree|2"},
        {0, None, ptExitStart, "TC", "Exit", "TC|Exit|2"},
        {0, None, ptExitFinish, "TC", "Exit", "TC|Exit|3"},
    };
    QStringList Shown;
    QStringList Expected;
    Presenter.RunAll(
        nullptr, [&](const TRunStep& aStep) { aStep(Sample.Scenario); },
        [&](TTestScenario&) {
          QVERIFY(Fake.Hook);
          for (const TStep& Step : Steps) {
            Fake.Ahead = Step.Ahead;
            Fake.Oldest = Step.Oldest;
            if (Step.Type)
              Presenter.HandleMessage(
                  nullptr, TProgressMessage(*Step.Type, "Nightly", Step.UnitTest, Step.Phase));
            else
              Fake.Hook();
            Shown << QStringLiteral("%1|%2|%3")
                         .arg(QString::fromStdString(Presenter.UnitTestName()),
                              QString::fromStdString(Presenter.MethodName()))
                         .arg(Presenter.Position());
            Expected << QString::fromUtf8(Step.Shown);
          }
        });
    QCOMPARE(Shown, Expected);
    QVERIFY(!Fake.Hook); // no longer listened to
  }

  // An error raised by a handler during the run ends Run with that error;
  // the presenter has removed itself and shows how far the run came.
  void ErrorDuringTheRunGoesOnAfterUnregistering() {
    ReportingTest::TSampleScenario Sample;
    TRaisingHandler Raising{ptMethodFinish};
    TProgressPresenter Presenter(Sample.Scenario, [] { return std::int64_t(0); });
    QStringList Shown;
    Presenter.Repaint = [&] { Shown << QString::fromStdString(Presenter.MethodName()); };
    Sample.Scenario.AddStateNotificationHandler(Raising.Event());
    try {
      Presenter.Run();
      QFAIL("the handler's error was lost");
    } catch (const Exception& Error) {
      QCOMPARE(QString::fromUtf8(Error.what()), QStringLiteral("handler raised"));
    }
    Sample.Scenario.RemoveStateNotificationHandler(Raising.Event());
    QVERIFY(!Presenter.Registered());
    QVERIFY(!Presenter.Finished());
    QCOMPARE(Sample.Scenario.StateNotifications().Count(), 0);
    QCOMPARE(Shown, (QStringList{"", "Exit"})); // Exit still ran
  }
};

QTEST_GUILESS_MAIN(TProgressPresenterTest)
#include "ProgressPresenterTest.moc"
