// Runs in hosts from the results view, with the real progress window: a
// hanging test is ended by the project's time limit, or by the window's Stop
// button (a second press, or 3 s after the first, ends the host at once; the
// first alone ends the run after the running method). In process the same
// time limit holds and the window has no Stop button.
#include "GuiTestSupport.h"

#include "FProgress.h"
#include "HostRunner.h"
#include "LinesPage.h"
#include "Project.h"
#include "ResultsPresenter.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <memory>
#include <vector>

using namespace Kalvoro;

namespace {

class TNoView : public IResultsView {
public:
  int CurrentRow() const override { return -1; }
  std::vector<int> SelectedRows() const override { return {}; }
  void SelectRow(int /*aRow*/) override {}
  void RefreshTree() override {}
  void ShowFilter() override {}
  void ShowFileControls() override {}
};

QStringList Statuses(const TResultsPresenter& aPresenter) {
  QStringList Result;
  for (const TResultRow& Row : aPresenter.Rows())
    Result << Row.Text + QLatin1Char('=') + Row.Status;
  return Result;
}

} // namespace

class THostRunTest : public QObject {
  Q_OBJECT

private slots:
  void HangsEndByTheTimeLimitOrByStop() {
    const QString Limited = QStringLiteral("Time limit of 1 s exceeded");
    const QString Stopped = QStringLiteral("Stopped by the user");
    const QStringList AllRun = {"Hangs=EXCEPTION",        "THangs=EXCEPTION",
                                "TestBusyLoop=EXCEPTION", "TestAfterBusyLoop=SUCCESS",
                                "TestSleep=EXCEPTION",    "TestAfterSleep=SUCCESS",
                                "TAfterHangs=SUCCESS",    "TestRuns=SUCCESS"};
    const QStringList StoppedInBusyLoop = {"Hangs=EXCEPTION",        "THangs=EXCEPTION",
                                           "TestBusyLoop=EXCEPTION", "TestAfterBusyLoop=TODO",
                                           "TestSleep=TODO",         "TestAfterSleep=TODO",
                                           "TAfterHangs=TODO",       "TestRuns=TODO"};
    const struct {
      const char* Name;
      bool Hosts;
      int TimeLimit;
      std::vector<int> Presses; // milliseconds after the busy loop showed
      QStringList Statuses;
      QString Error;         // the busy loop's exception
      qint64 AtLeast, Below; // the run's milliseconds
      bool MoreScenarios;    // the second scenario ran
    } Cases[] = {
        {"time limit in hosts", true, 1, {}, AllRun, Limited, 2000, 20000, true},
        {"time limit in process", false, 1, {}, AllRun, Limited, 2000, 20000, true},
        {"stop twice", true, 0, {200, 500}, StoppedInBusyLoop, Stopped, 0, 3000, false},
        {"stop once: at once 3 s later",
         true,
         0,
         {200},
         StoppedInBusyLoop,
         Stopped,
         3200,
         12000,
         false},
        {"stop once: after the running method",
         true,
         2,
         {200},
         StoppedInBusyLoop,
         QStringLiteral("Time limit of 2 s exceeded"),
         1900,
         12000,
         false},
    };
    for (const auto& Case : Cases) {
      TFakeDialogs Dialogs;
      bool HadStop = false;
      QStringList Shown;
      Dialogs.OnExecute = [&](QDialog& aDialog) {
        auto* Form = qobject_cast<TProgressForm*>(&aDialog);
        auto* Stop = Form != nullptr ? Form->btnStop : nullptr;
        HadStop = HadStop || Stop != nullptr;
        if (Stop != nullptr && !Case.Presses.empty()) {
          // The presses count from when the window shows the busy loop (or
          // from 5 s, when it never does).
          auto* Poll = new QTimer(Form);
          auto Since = std::make_shared<QElapsedTimer>();
          Since->start();
          QObject::connect(Poll, &QTimer::timeout, Form, [&, Form, Stop, Poll, Since] {
            const QString Method = Form->lblUnitTestMethod->text();
            if (Method != QLatin1String("TestBusyLoop") && Since->elapsed() < 5000)
              return;
            Poll->stop();
            for (const int At : Case.Presses)
              QTimer::singleShot(At, Stop, [Form, Stop, &Shown] {
                Shown << Form->lblUnitTestMethod->text();
                Stop->click();
              });
          });
          Poll->start(20);
        }
        QTimer::singleShot(30000, &aDialog, [&aDialog] { aDialog.done(-1); });
        return aDialog.exec();
      };
      TProject Project;
      Project.SetOptions({Case.Hosts, Case.TimeLimit});
      Project.FileInfo().SetEnabled(pkSummary, false);
      Project.FileInfo().SetEnabled(pkLog, false);
      Project.FileInfo().SetEnabled(pkErrors, false);
      TModule* Hangs = Project.Modules().AddByFileName(KALVORO_TEST_MODULES_DIR "/Hangs.so");
      QVERIFY(Hangs->LoadModule());
      TTestScenario* First = Project.Scenarios()[0];
      First->SetName("Hangs");
      for (TUnitTestBase* UnitTest : Hangs->UnitTestList())
        First->AddUnitTest(UnitTest);
      // A scenario after it, which a stopped run does not start.
      TTestScenario* Second = Project.Scenarios().AddByName("Later");
      Second->AddUnitTest(Hangs->UnitTestList()[1]);

      TNoView View;
      TResultsPresenter Presenter(Dialogs, View);
      Presenter.SetRunStep(ProgressRunStep(&Dialogs));
      Presenter.Activate(&Project);
      QElapsedTimer Clock;
      Clock.start();
      Presenter.StartAll();
      const qint64 Took = Clock.elapsed();
      QVERIFY2(HadStop == Case.Hosts, Case.Name);
      QCOMPARE(Shown, QStringList(static_cast<qsizetype>(Case.Presses.size()),
                                  QStringLiteral("TestBusyLoop")));
      QStringList Got = Statuses(Presenter).mid(0, 8);
      QCOMPARE(Got, Case.Statuses);
      QVERIFY2(Took >= Case.AtLeast && Took < Case.Below,
               qPrintable(QStringLiteral("%1: %2 ms").arg(Case.Name).arg(Took)));
      const QStringList Errors = [&] {
        QStringList Lines;
        for (const std::string& Line : Presenter.Page(pkErrors).Lines())
          Lines << QString::fromStdString(Line);
        return Lines;
      }();
      QVERIFY2(!Errors.filter(QStringLiteral("TestBusyLoop")).filter(Case.Error).isEmpty(),
               qPrintable(Case.Name + QStringLiteral(": ") + Errors.join(QLatin1Char('\n'))));
      QCOMPARE(Statuses(Presenter).last(),
               QStringLiteral("TestRuns=") +
                   (Case.MoreScenarios ? QStringLiteral("SUCCESS") : QStringLiteral("TODO")));
      QVERIFY2(Dialogs.Errors.isEmpty(), Case.Name);
      Presenter.Deactivate();
      for (TTestScenario* Scenario : Project.Scenarios())
        Scenario->RemoveAllUnitTests();
    }
  }
};

KALVORO_GUI_TEST_MAIN(THostRunTest)
#include "HostRunTest.moc"
