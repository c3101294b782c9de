// Start All in the manager's real main window against the console runner: a
// project with failing, raising and crashing methods is run by both, in hosts
// and in process (and the manager with two tests at once), and the report
// files must be equal line for line, dates and times aside. A second Start All right after the
// first gives the same results again.
#include "GuiTestSupport.h"

#include "Actions.h"
#include "FMain.h"
#include "FModules.h"
#include "FResults.h"
#include "LineKind.h"
#include "Project.h"
#include "ResultsRunProject.h"
#include "TreeView.h"

#include <QDialog>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>

using namespace Kalvoro;

namespace {

QStringList Statuses(const TTreeView& aTree) {
  QStringList Result;
  for (int I = 0; I < aTree.TotalCount(); ++I)
    Result << aTree.NodeAtFlatIndex(I)->Text(0) + QLatin1Char('=') +
                  aTree.NodeAtFlatIndex(I)->Text(1);
  return Result;
}

} // namespace

class TResultsEndToEndTest : public QObject {
  Q_OBJECT

  // Presses the Start All tool button as a user would; the click returns once
  // every scenario's progress window has closed. A watchdog fails a run that
  // never ends instead of hanging the test.
  void PressStartAll(TResultsFrame& aFrame) {
    QTimer Watchdog;
    Watchdog.setSingleShot(true);
    bool Hung = false;
    connect(&Watchdog, &QTimer::timeout, [&] {
      Hung = true;
      if (QWidget* Modal = QApplication::activeModalWidget())
        Modal->close();
    });
    Watchdog.start(60000);
    RunIdle();
    QToolBar* ToolBar = aFrame.GetToolBar();
    QWidget* Button = ToolBar->findChild<QWidget*>(QStringLiteral("btnStartAll"));
    QVERIFY(Button != nullptr);
    QVERIFY(Button->isEnabled());
    QTest::mouseClick(Button, Qt::LeftButton);
    QVERIFY(!Hung);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
  }

private slots:
  void StartAllWritesWhatTheConsoleRunnerWrites_data() {
    QTest::addColumn<bool>("Hosts");
    QTest::addColumn<int>("Jobs"); // the manager's; the console runs one at a time
    QTest::newRow("in hosts") << true << 1;
    QTest::newRow("in process") << false << 1;
    QTest::newRow("in hosts, 2 at once") << true << 2;
  }

  void StartAllWritesWhatTheConsoleRunnerWrites() {
    QFETCH(bool, Hosts);
    QFETCH(int, Jobs);
    TFakeDialogs Dialogs;
    // The progress window is shown for real, as the desktop's dialogs show it.
    Dialogs.OnExecute = [](QDialog& aDialog) { return aDialog.exec(); };
    TMorvaneApplication::Instance()->SetDialogs(&Dialogs);
    QTemporaryDir ManagerFolder;
    QTemporaryDir ConsoleFolder;
    const QString ManagerProject = ManagerFolder.filePath(QStringLiteral("Run.kvr"));
    const QString ConsoleProject = ConsoleFolder.filePath(QStringLiteral("Run.kvr"));
    WriteTextFile(ManagerProject, ProjectLines(Hosts, Jobs));
    WriteTextFile(ConsoleProject, ProjectLines(Hosts));

    QProcess Console;
    Console.start(QStringLiteral(KALVORO_EXECUTABLE), {QStringLiteral("run"), ConsoleProject});
    QVERIFY(Console.waitForFinished(60000));
    QCOMPARE(Console.exitCode(), 1); // methods failed
    QVERIFY2(Console.readAllStandardError().isEmpty(), "no load report");
    QVERIFY2(Console.exitStatus() == QProcess::NormalExit, "the console runner survives");

    TMainForm Form(Dialogs, {ManagerProject});
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    QVERIFY2(Dialogs.Messages.isEmpty(),
             qPrintable(Dialogs.Messages.isEmpty() ? QString() : Dialogs.Messages[0].Text));
    Form.SwitchFrame(Form.ResultsFrame());
    TResultsFrame& Results = *Form.ResultsFrame();
    PressStartAll(Results);
    QVERIFY2(Dialogs.Errors.isEmpty(),
             qPrintable(Dialogs.Errors.isEmpty() ? QString() : Dialogs.Errors[0].Text));
    for (const QString& File : ReportFiles) {
      const QStringList Manager = Masked(ManagerFolder.filePath(File));
      QVERIFY2(Manager.size() > 10, qPrintable(File));
      QCOMPARE(Manager, Masked(ConsoleFolder.filePath(File)));
    }
    const QStringList Errors = ReadTextLines(ManagerFolder.filePath(QStringLiteral("Errors.txt")));
    for (const char* Crash : {"Access violation (SIGSEGV)", "Integer division by zero (SIGFPE)",
                              "Abnormal termination (SIGABRT)", "Stack overflow (SIGSEGV)"})
      QVERIFY2(!Errors.filter(QLatin1String(Crash)).isEmpty(), Crash);
    const QStringList First = Statuses(*Results.Tree());
    QVERIFY(First.contains(QStringLiteral("TestAfterCrashes=SUCCESS")));
    QVERIFY(First.contains(QStringLiteral("TestOverflow=EXCEPTION")));
    QVERIFY(First.contains(QStringLiteral("Crashes=EXCEPTION")));

    // Again at once: the same tree and the same files.
    PressStartAll(Results);
    QCOMPARE(Statuses(*Results.Tree()), First);
    for (const QString& File : ReportFiles)
      QCOMPARE(Masked(ManagerFolder.filePath(File)), Masked(ConsoleFolder.filePath(File)));
    QVERIFY(Dialogs.Errors.isEmpty());

    Dialogs.ConfirmAnswers << false; // do not save the project on closing
    Form.close();
    TMorvaneApplication::Instance()->SetDialogs(nullptr);
  }

  // Open, Start All and close in hosts: a module's start-up and destructor
  // never run in the program, whatever they do there; the results and the
  // report files are those of a run that contains them.
  void NoModuleCodeRunsInTheProgram() {
    TFakeDialogs Dialogs;
    Dialogs.OnExecute = [](QDialog& aDialog) { return aDialog.exec(); };
    TMorvaneApplication::Instance()->SetDialogs(&Dialogs);
    QTemporaryDir Folder;
    const QString ProcessLog = Folder.filePath(QStringLiteral("processes.txt"));
    qputenv("KALVORO_PROCESS_LOG", QFile::encodeName(ProcessLog));
    qputenv("KALVORO_HOSTILE", QFile::encodeName(Folder.filePath(QStringLiteral("lock"))));
    const QString Hostile = QStringLiteral(KALVORO_TEST_MODULES_DIR "/FaultHostileStartUp.so");
    const QString Project = Folder.filePath(QStringLiteral("Hostile.kvr"));
    WriteTextFile(Project,
                  {"[Project]",         "Signature=Kalvoro",
                   "FileVersion=1.0",   "ModuleCount=1",
                   "ScenarioCount=1",   "[FileInfo]",
                   "SummaryEnabled=1",  "SummaryFileName=Summary.txt",
                   "LogEnabled=1",      "LogFileName=Log.txt",
                   "ErrorEnabled=1",    "ErrorFileName=Errors.txt",
                   "[Scenarios]",       "Name0=Default Scenario",
                   "[Modules]",         "File0=" + Hostile,
                   "Load0=1",           "AssignmentCount0=1",
                   "[" + Hostile + "]", "Assign0=THostileStartUp|Default Scenario|ENABLED"});
    {
      TMainForm Form(Dialogs, {Project});
      Form.show();
      QVERIFY(QTest::qWaitForWindowExposed(&Form));
      Form.SwitchFrame(Form.ResultsFrame());
      PressStartAll(*Form.ResultsFrame());
      const QStringList Results = Statuses(*Form.ResultsFrame()->Tree());
      for (const char* Row : {"TestStays=SUCCESS", "TestCrashes=EXCEPTION",
                              "TestEndsItsProcess=EXCEPTION", "TestAfter=SUCCESS"})
        QVERIFY2(Results.contains(QLatin1String(Row)), Row);
      Dialogs.ConfirmAnswers << false;
      Form.close();
    }
    TMorvaneApplication::Instance()->SetDialogs(nullptr);
    qunsetenv("KALVORO_PROCESS_LOG");
    qunsetenv("KALVORO_HOSTILE");
    const QStringList Errors = ReadTextLines(Folder.filePath(QStringLiteral("Errors.txt")));
    QVERIFY(!Errors.filter(QLatin1String("Test process exited with status 3")).isEmpty());
    const QStringList Lines = ReadTextLines(ProcessLog);
    QVERIFY(Lines.size() >= 3);
    const QString Self = QString::number(QCoreApplication::applicationPid());
    for (const QString& Line : Lines) {
      QVERIFY2(Line.section(QLatin1Char(' '), 1, 1) != Self, qPrintable(Line));
      QVERIFY2(Line.endsWith(QLatin1String("/kalvoro-host")), qPrintable(Line));
    }
  }

  // A kind that only the tests know lists and runs through the project, the
  // modules view (which shows each module's kind) and Start All, beside a
  // Kalvoro module, with no view of its own.
  void AKindOfTheTestsRunsThroughTheViews() {
    const KalvoroTest::TLineKindScope Kind;
    TFakeDialogs Dialogs;
    Dialogs.OnExecute = [](QDialog& aDialog) { return aDialog.exec(); };
    TMorvaneApplication::Instance()->SetDialogs(&Dialogs);
    QTemporaryDir Folder;
    const QString Program = QStringLiteral(KALVORO_TEST_MODULES_DIR "/LineProgram");
    const QString Report = QStringLiteral(KALVORO_TEST_MODULES_DIR "/ReportA.so");
    const QString GoogleTest = QStringLiteral(KALVORO_TEST_MODULES_DIR "/GoogleTestProgram");
    const QString Project = Folder.filePath(QStringLiteral("Kinds.kvr"));
    WriteTextFile(Project, {"[Project]",
                            "Signature=Kalvoro",
                            "FileVersion=1.0",
                            "ModuleCount=3",
                            "ScenarioCount=1",
                            "[FileInfo]",
                            "SummaryEnabled=0",
                            "SummaryFileName=",
                            "LogEnabled=1",
                            "LogFileName=Log.txt",
                            "ErrorEnabled=0",
                            "ErrorFileName=",
                            "[Scenarios]",
                            "Name0=Default Scenario",
                            "[Modules]",
                            "File0=" + Program,
                            "Load0=1",
                            "AssignmentCount0=2",
                            "File1=" + Report,
                            "Load1=1",
                            "AssignmentCount1=0",
                            "File2=" + GoogleTest,
                            "Load2=1",
                            "AssignmentCount2=1",
                            "[" + Program + "]",
                            "Assign0=TLines|Default Scenario|ENABLED",
                            "Assign1=Pipe\\|Unit|Default Scenario|DISABLED",
                            "[" + GoogleTest + "]",
                            "Assign0=Basic|Default Scenario|ENABLED"});
    {
      TMainForm Form(Dialogs, {Project});
      Form.show();
      QVERIFY(QTest::qWaitForWindowExposed(&Form));
      const TTreeView& Modules = *Form.ModulesFrame()->Tree();
      QCOMPARE(Modules.NodeAtFlatIndex(0)->Text(3), QStringLiteral("line test program"));
      QCOMPARE(Modules.NodeAtFlatIndex(0)->Text(2), QStringLiteral("LOAD SUCCESS"));
      QStringList KindsShown;
      for (int I = 0; I < Modules.TotalCount(); ++I)
        KindsShown << Modules.NodeAtFlatIndex(I)->Text(3);
      for (const char* Kind : {"Kalvoro module", "GoogleTest program"})
        QVERIFY2(KindsShown.contains(QLatin1String(Kind)), qPrintable(KindsShown.join(',')));
      Form.SwitchFrame(Form.ResultsFrame());
      PressStartAll(*Form.ResultsFrame());
      const QStringList Results = Statuses(*Form.ResultsFrame()->Tree());
      for (const char* Row : {"Passes=SUCCESS", "Fails=FAILURE", "FailsWithValues=FAILURE",
                              "ThrowsStd=EXCEPTION", "Skips=TODO"})
        QVERIFY2(Results.contains(QLatin1String(Row)), qPrintable(Results.join(',')));
      // A unit-test name holding '|' is written escaped, as it was read.
      Form.Project()->SaveProject();
      QVERIFY(ReadTextLines(Project).contains(
          QStringLiteral("Assign1=Pipe\\|Unit|Default Scenario|DISABLED")));
      Dialogs.ConfirmAnswers << false;
      Form.close();
    }
    TMorvaneApplication::Instance()->SetDialogs(nullptr);
    const QStringList Log = ReadTextLines(Folder.filePath(QStringLiteral("Log.txt")));
    QVERIFY(!Log.filter(QLatin1String("FAILURE 2 + 2 == 5")).isEmpty());
    QVERIFY(!Log.filter(QLatin1String("REPORT started")).isEmpty());
  }
};

KALVORO_GUI_TEST_MAIN(TResultsEndToEndTest)
#include "ResultsEndToEndTest.moc"
