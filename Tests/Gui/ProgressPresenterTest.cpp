// What the progress window shows, without the window: its reactions to each
// progress message, the bar's total, repaints at most once a frame with the
// last state always shown, and a run that ends with an error.
#include "ProgressPresenter.h"

#include "NotificationMessages.h"
#include "ReportingTestSupport.h"

#include <QtTest>

#include <memory>

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
