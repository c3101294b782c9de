// The progress window itself: its fixed settings, captions clear of their
// values, a run shown modally that starts only once the window is on the
// screen, a run that ends with an error, its assertions, and crashing test
// methods contained by the run.
#include "GuiTestSupport.h"

#include "FProgress.h"
#include "LinesPage.h"
#include "MemoOutput.h"
#include "NotificationMessages.h"
#include "UnitTest.h"
#include "UnitTestBase.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QTimer>

using namespace Kalvoro;

namespace {

class TTwoMethods : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestFirst);
    REGISTER_METHOD(TestSecond);
  }
  void TestFirst() { Check(true, "first"); }
  void TestSecond() { Check(false, "second"); }
};

// A scenario "Quick" with one unit test of two methods.
struct TQuickScenario {
  TQuickScenario() {
    Test.SetName("TTwoMethods");
    Test.Register();
    Scenario.AddUnitTest(&Test);
  }
  ~TQuickScenario() { Scenario.RemoveAllUnitTests(); }
  TModule Module{"quick.so"};
  TTestScenario Scenario{"Quick"};
  TTwoMethods Test{&Module};
};

// Runs the window's own modal loop; a watchdog ends a window that never
// closes itself, with -1.
int ExecWithWatchdog(QDialog& aDialog) {
  QTimer::singleShot(10000, &aDialog, [&aDialog] { aDialog.done(-1); });
  return aDialog.exec();
}

// Records when the scenario starts and whether the window was on the screen.
struct TStartProbe {
  qint64 StartedAfter = -1;
  bool WindowVisible = false;
  QElapsedTimer Clock;
  void Handle(TMessageEventList*, const TCustomMessage& aMessage) {
    if (aMessage.GetId() == MessageIdProgress &&
        static_cast<const TProgressMessage&>(aMessage).ProgressType() == ptScenarioStart) {
      StartedAfter = Clock.elapsed();
      WindowVisible = TProgressForm::Shown() != nullptr && TProgressForm::Shown()->isVisible();
    }
  }
  TMessageEvent Event() { return MakeMessageEvent<&TStartProbe::Handle>(this); }
};

QString AssertionText(const std::function<void()>& aBody) {
  try {
    aBody();
  } catch (const EAssertionFailed& Error) {
    return QString::fromUtf8(Error.what());
  }
  return QStringLiteral("<no assertion>");
}

} // namespace

class TProgressFormTest : public QObject {
  Q_OBJECT

  TFakeDialogs FDialogs;

private slots:
  void init() {
    FDialogs = TFakeDialogs();
    FDialogs.OnExecute = ExecWithWatchdog;
  }
  void cleanup() {
    QCOMPARE(TProgressForm::Shown(), nullptr);
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
  }

  void FormHasItsFixedSettings() {
    TQuickScenario Quick;
    TProgressForm Form(&Quick.Scenario);
    QCOMPARE(Form.windowTitle(), QStringLiteral("Running"));
    QVERIFY(!(Form.windowFlags() & Qt::WindowCloseButtonHint));
    QVERIFY(!(Form.windowFlags() & Qt::WindowSystemMenuHint));
    QCOMPARE(Form.size(), QSize(330, 105));
    QCOMPARE(Form.geometry().center(),
             QGuiApplication::primaryScreen()->availableGeometry().center());
    const QList<QLabel*> Captions = {Form.Label1, Form.Label2, Form.Label3};
    const QList<QLabel*> Values = {Form.lblScenario, Form.lblUnitTest, Form.lblUnitTestMethod};
    const QStringList Texts = {"Test Scenario", "UnitTest", "UnitTest Method"};
    for (int Row = 0; Row < 3; ++Row) {
      QCOMPARE(Captions[Row]->text(), Texts[Row]);
      QCOMPARE(Captions[Row]->pos(), QPoint(24, 8 + 16 * Row));
      QCOMPARE(Values[Row]->pos(), QPoint(Values[0]->x(), 8 + 16 * Row));
      QVERIFY(Values[Row]->x() >= 120);
      QCOMPARE(Values[Row]->geometry().right(), Form.ProgressBar->geometry().right());
      QVERIFY(Values[Row]->font().bold());
      QCOMPARE(Values[Row]->accessibleName(), Texts[Row]);
    }
    QCOMPARE(Form.lblScenario->text(), QStringLiteral("Quick"));
    QCOMPARE(Form.ProgressBar->geometry(), QRect(16, 64, 297, 25));
    QCOMPARE(Form.ProgressBar->minimum(), 0);
    QCOMPARE(Form.ProgressBar->maximum(), 2);
    QCOMPARE(Form.ProgressBar->value(), 0);
    QVERIFY(!Form.ProgressBar->accessibleName().isEmpty());
    QCOMPARE(Form.Timer->interval(), 100);
    QVERIFY(Form.Timer->isSingleShot());
    QVERIFY(!Form.Timer->isActive()); // started once the window shows
  }

  // Each caption keeps clear of its value, in the usual font and in a larger
  // one, with values longer than the window is wide: the values' column
  // starts past the widest caption and ends inside the window.
  void CaptionsKeepClearOfTheirValues() {
    const QFont Usual = QApplication::font();
    const auto RestoreFont = qScopeGuard([&Usual] { QApplication::setFont(Usual); });
    for (const double Scale : {1.0, 1.5}) {
      QFont Font = Usual;
      if (Usual.pointSizeF() > 0)
        Font.setPointSizeF(Usual.pointSizeF() * Scale);
      else
        Font.setPixelSize(qRound(Usual.pixelSize() * Scale));
      QApplication::setFont(Font);
      TTestScenario Scenario("A scenario whose name runs on past the edge of the window");
      TProgressForm Form(&Scenario);
      Form.lblUnitTest->setText(QStringLiteral("TAUnitTestWhoseNameRunsOnPastTheEdgeOfTheWindow"));
      Form.lblUnitTestMethod->setText(
          QStringLiteral("TestAMethodWhoseNameRunsOnPastTheEdgeOfTheWindow"));
      Form.show();
      QVERIFY(QTest::qWaitForWindowExposed(&Form));
      const QList<std::pair<QLabel*, QLabel*>> Pairs = {{Form.Label1, Form.lblScenario},
                                                        {Form.Label2, Form.lblUnitTest},
                                                        {Form.Label3, Form.lblUnitTestMethod}};
      for (const auto& [Caption, Value] : Pairs) {
        const QString Where = QStringLiteral("%1 at scale %2").arg(Caption->text()).arg(Scale);
        QVERIFY2(Caption->width() >= Caption->sizeHint().width(), qPrintable(Where));
        QVERIFY2(!Caption->geometry().intersects(Value->geometry()), qPrintable(Where));
        QVERIFY2(Form.rect().contains(Value->geometry()), qPrintable(Where));
      }
    }
  }

  // The run starts at least 100 ms after the window shows, from its modal
  // loop; the window then closes itself with the last texts showing, and
  // neither Escape nor closing it ends it earlier.
  void ShowProgressRunsTheScenarioOnceTheWindowIsShown() {
    TQuickScenario Quick;
    TStartProbe Probe;
    Quick.Scenario.AddStateNotificationHandler(Probe.Event());
    QStringList Seen;
    int Result = 0;
    FDialogs.OnExecute = [&](QDialog& aDialog) {
      auto& Form = static_cast<TProgressForm&>(aDialog);
      QTimer::singleShot(20, &Form, [&] {
        QTest::keyClick(&Form, Qt::Key_Escape);
        Form.close();
        Seen << (Form.isVisible() ? "open" : "closed");
      });
      Probe.Clock.start();
      Result = ExecWithWatchdog(aDialog);
      Seen << Form.lblUnitTest->text() << Form.lblUnitTestMethod->text()
           << QString::number(Form.ProgressBar->value());
      return Result;
    };
    TProgressForm::ShowProgress(&Quick.Scenario, &FDialogs);
    Quick.Scenario.RemoveStateNotificationHandler(Probe.Event());
    QCOMPARE(FDialogs.Events, QStringList{"execute"});
    QCOMPARE(Result, int(QDialog::Accepted));
    QVERIFY(Probe.StartedAfter >= 100);
    QVERIFY(Probe.WindowVisible);
    QCOMPARE(Seen, (QStringList{"open", "TTwoMethods", "Exit", "2"}));
    QCOMPARE(Quick.Test.TestResult(), tcrFailure);
    QCOMPARE(Quick.Scenario.StateNotifications().Count(), 0);
  }

  // An error raised by a handler during the run, outside the guarded
  // phases, closes the window and reaches the caller; the pages keep what
  // ran before it.
  void ErrorDuringTheRunClosesTheWindowAndGoesOn() {
    TQuickScenario Quick;
    TLinesPage Log, Errors, Summary;
    TMemoOutput Output(&Quick.Scenario, &Log, &Errors, &Summary);
    struct TRaiser {
      void Handle(TMessageEventList*, const TCustomMessage& aMessage) {
        if (aMessage.GetId() == MessageIdProgress &&
            static_cast<const TProgressMessage&>(aMessage).ProgressType() == ptUnitTestFinish)
          throw std::runtime_error("out of pages");
      }
    } Raiser;
    const TMessageEvent Raising = MakeMessageEvent<&TRaiser::Handle>(&Raiser);
    Quick.Scenario.AddStateNotificationHandler(Raising);
    QString Text;
    try {
      TProgressForm::ShowProgress(&Quick.Scenario, &FDialogs);
    } catch (const std::runtime_error& Error) {
      Text = QString::fromUtf8(Error.what());
    }
    Quick.Scenario.RemoveStateNotificationHandler(Raising);
    QCOMPARE(Text, QStringLiteral("out of pages"));
    QCOMPARE(Quick.Scenario.StateNotifications().Count(), 1); // the sink only
    QCOMPARE(Log.Count(), 9);
    QVERIFY(Log.Lines().front().starts_with("BEGIN Quick"));
    QCOMPARE(Log.Lines().back(), std::string("  END TTwoMethods"));
    QVERIFY(Errors.Lines() == std::vector<std::string>{"FAILURE (TTwoMethods.TestSecond) second"});
  }

  void AssertionsNameTheUnitAndLine() {
    TQuickScenario Quick;
    TProgressForm Form(&Quick.Scenario);
    const QStringList Texts = {
        AssertionText([] { TProgressForm::ShowProgress(nullptr); }),
        AssertionText([] { TProgressForm Missing(nullptr); }),
        AssertionText([&Form] { Form.HandleMessage(nullptr, nullptr); }),
    };
    const QRegularExpression Pattern(
        QStringLiteral(R"(^Assertion failure \(Sources/Morvane/FProgress\.cpp, line (\d+)\)$)"));
    QSet<QString> Lines;
    for (const QString& Text : Texts) {
      const QRegularExpressionMatch Match = Pattern.match(Text);
      QVERIFY2(Match.hasMatch(), qPrintable(Text));
      Lines << Match.captured(1);
    }
    QCOMPARE(Lines.size(), 3);
  }

  // Crashing methods run in the window become EXCEPTION results and the run
  // goes on; a second run gives the same results.
  void CrashesInTestMethodsAreContained() {
    TModule Module(TestModulePath(QStringLiteral("GuiCrashes.so")).toStdString());
    QVERIFY(Module.LoadModule());
    QCOMPARE(Module.UnitTestList().Count(), 1);
    TUnitTestBase* Crashes = Module.UnitTestList().GetItem(0);
    TTestScenario Scenario("Crashes");
    Scenario.AddUnitTest(Crashes);
    for (int Round = 0; Round < 2; ++Round) {
      TLinesPage Log, Errors, Summary;
      {
        TMemoOutput Output(&Scenario, &Log, &Errors, &Summary);
        TProgressForm::ShowProgress(&Scenario, &FDialogs);
      }
      QStringList Results;
      for (const TUnitTestMethod* Method : Crashes->Methods())
        Results << QString::number(Method->TestResult());
      QCOMPARE(Results, (QStringList{"3", "3", "3", "3", "1"}));
      QCOMPARE(Errors.Count(), 4);
      QVERIFY(Errors.Lines()[0].find("SIGSEGV") != std::string::npos);
      QVERIFY(Errors.Lines()[1].find("SIGFPE") != std::string::npos);
      QVERIFY(Errors.Lines()[2].find("SIGABRT") != std::string::npos);
      QVERIFY(Errors.Lines()[3].find("Stack overflow") != std::string::npos);
    }
    Scenario.RemoveAllUnitTests();
    QVERIFY(Module.UnloadModule());
  }
};

KALVORO_GUI_TEST_MAIN(TProgressFormTest)
#include "ProgressFormTest.moc"
