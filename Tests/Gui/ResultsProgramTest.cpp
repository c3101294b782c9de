// The real morvane program driven as a screen reader drives it: through the
// desktop's accessibility bus it switches to the results view and presses
// Start All; the report files must then equal those of "kalvoro run" on the
// same project, dates and times aside, and again after a second Start All.
// With a project of each fault module (and of each module built with a
// sanitizer) it must still be running afterwards, its tree reading each
// method's result. Typed into the filter box, a name leaves its rows in the
// tree; Run Failed runs the failures again and the files hold that run.
// Every control of every view has a name.
// Runs on a virtual screen of its own under dbus-run-session (see CMakeLists.txt).
#include "BusDriver.h"
#include "ResultsRunProject.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

using namespace Kalvoro;

namespace {

// The project of one fault module: one scenario "Faults" with the given unit
// tests, the three report files beside it, and a time limit per phase.
QStringList FaultProjectLines(const QString& aModule, const QStringList& aUnitTests,
                              int aTimeLimit) {
  const QString Module = QStringLiteral(KALVORO_TEST_MODULES_DIR "/") + aModule + ".so";
  QStringList Lines = {
      "[Project]",        "Signature=Kalvoro",
      "FileVersion=1.0",  "ModuleCount=1",
      "ScenarioCount=1",  "[FileInfo]",
      "SummaryEnabled=1", "SummaryFileName=Summary.txt",
      "LogEnabled=1",     "LogFileName=Log.txt",
      "ErrorEnabled=1",   "ErrorFileName=Errors.txt",
      "[Scenarios]",      "Name0=Faults",
      "[Modules]",        "File0=" + Module,
      "Load0=1",          QStringLiteral("AssignmentCount0=%1").arg(aUnitTests.size()),
      '[' + Module + ']'};
  for (int I = 0; I < aUnitTests.size(); ++I)
    Lines << QStringLiteral("Assign%1=%2|Faults|ENABLED").arg(I).arg(aUnitTests[I]);
  Lines << "[Kalvoro/Options]" << QStringLiteral("TimeLimit=%1").arg(aTimeLimit);
  return Lines;
}

} // namespace

class TResultsProgramTest : public QObject {
  Q_OBJECT

  std::optional<TBus> FBus;
  const TAccessible FRoot = TBus::Root();
  // The user's settings of every morvane started here.
  QTemporaryDir FConfigHome;

  // Runs the console runner on its copy of the project; its exit code.
  static int RunConsole(const QString& aProject) {
    QProcess Console;
    Console.start(QStringLiteral(KALVORO_EXECUTABLE), {QStringLiteral("run"), aProject});
    if (!Console.waitForFinished(120000))
      return -1;
    return Console.exitCode();
  }

  std::optional<TAccessible> StartMorvane(QProcess& aMorvane, const QString& aProject) {
    return Kalvoro::StartMorvane(*FBus, aMorvane, aProject, FConfigHome.path());
  }

  // Presses Start All and waits for the report files; then each must equal
  // the console runner's.
  void StartAllAndCompare(const TAccessible& aStartAll, const QString& aManager,
                          const QString& aConsole) {
    for (const QString& File : ReportFiles)
      QFile::remove(QDir(aManager).filePath(File));
    FBus->Press(aStartAll);
    QVERIFY2(WaitForFile(QDir(aManager).filePath(QStringLiteral("Errors.txt")), 120000),
             "the run writes its report files");
    for (const QString& File : ReportFiles) {
      const QStringList Manager = Masked(QDir(aManager).filePath(File));
      QVERIFY2(!Manager.isEmpty(), qPrintable(File));
      QCOMPARE(Manager, Masked(QDir(aConsole).filePath(File)));
    }
  }

private slots:
  void initTestCase() {
    FBus.emplace();
    // scripts/test installs the bus and asks for it: there a missing bus fails.
    if (!FBus->Connected() && qEnvironmentVariableIsSet("KALVORO_REQUIRE_ACCESSIBILITY"))
      QFAIL("no accessibility bus (at-spi2-core) in this session");
    if (!FBus->Connected())
      QSKIP("no accessibility bus (at-spi2-core) in this session");
  }

  void StartAllInTheProgramWritesWhatTheConsoleRunnerWrites() {
    QTemporaryDir ManagerFolder;
    QTemporaryDir ConsoleFolder;
    const QString ManagerProject = ManagerFolder.filePath(QStringLiteral("Run.kvr"));
    const QString ConsoleProject = ConsoleFolder.filePath(QStringLiteral("Run.kvr"));
    WriteLines(ManagerProject, ProjectLines());
    WriteLines(ConsoleProject, ProjectLines());
    QCOMPARE(RunConsole(ConsoleProject), 1);

    QProcess Morvane;
    const std::optional<TAccessible> StartAll = StartMorvane(Morvane, ManagerProject);
    QVERIFY2(StartAll, "the results view's Start All button");
    for (int Run = 0; Run < 2; ++Run) {
      StartAllAndCompare(*StartAll, ManagerFolder.path(), ConsoleFolder.path());
      QVERIFY(Masked(ManagerFolder.filePath(QStringLiteral("Errors.txt")))
                  .contains(QStringLiteral(
                      "EXCEPTION (TStackOverflow.TestOverflow) Stack overflow (SIGSEGV)")));
    }
    QCOMPARE(Morvane.state(), QProcess::Running);
    Morvane.kill();
    Morvane.waitForFinished(5000);
  }

  void TheFilterBoxAndRunFailedWorkInTheProgram() {
    QTemporaryDir Folder;
    const QString Project = Folder.filePath(QStringLiteral("Run.kvr"));
    WriteLines(Project, ProjectLines());
    QProcess Morvane;
    const std::optional<TAccessible> StartAll = StartMorvane(Morvane, Project);
    QVERIFY2(StartAll, "the results view's Start All button");
    FBus->Press(*StartAll);
    const QString Errors = Folder.filePath(QStringLiteral("Errors.txt"));
    QVERIFY2(WaitForFile(Errors, 120000), "Start All writes its report files");
    const QStringList FirstErrors = Masked(Errors);
    const std::optional<TAccessible> Tree = FBus->Find(FRoot, QStringLiteral("Results"), TreeRoles);
    QVERIFY2(Tree, "the results tree");
    const QStringList All = FBus->CellTexts(*Tree);
    QVERIFY(All.contains(QStringLiteral("TestOverflow")));
    QVERIFY(All.contains(QStringLiteral("TestAccessViolation")));

    // The filter box: a name leaves its row and the rows above it.
    const std::optional<TAccessible> Filter =
        FBus->Find(FRoot, QStringLiteral("Filter results"), {RoleEntry, RoleText});
    QVERIFY2(Filter, "the results filter box");
    FBus->SetText(*Filter, QStringLiteral("overflow"));
    QTest::qWait(500);
    const QStringList Filtered = FBus->CellTexts(*Tree);
    QVERIFY2(Filtered.contains(QStringLiteral("TestOverflow")), qPrintable(Filtered.join(' ')));
    QVERIFY(Filtered.contains(QStringLiteral("TStackOverflow")));
    QVERIFY(Filtered.contains(QStringLiteral("Crashes")));
    QVERIFY(!Filtered.contains(QStringLiteral("TestAccessViolation")));
    QVERIFY(!Filtered.contains(QStringLiteral("TMathTest")));
    // Cleared, the whole tree is back.
    FBus->SetText(*Filter, QString());
    QTest::qWait(500);
    QCOMPARE(FBus->CellTexts(*Tree), All);

    // Run Failed: the failures run again and write the same errors; what
    // passed before shows not run.
    const std::optional<TAccessible> RunFailed =
        FBus->FindButton(FRoot, QStringLiteral("Run Failed"));
    QVERIFY2(RunFailed, "the Run Failed button");
    for (const QString& File : ReportFiles)
      QFile::remove(Folder.filePath(File));
    FBus->Press(*RunFailed);
    QVERIFY2(WaitForFile(Errors, 120000), "Run Failed writes its report files");
    QCOMPARE(Masked(Errors), FirstErrors);
    const QStringList After = FBus->CellTexts(*Tree);
    QVERIFY(!After.contains(QStringLiteral("SUCCESS")));
    QVERIFY(After.contains(QStringLiteral("TODO")));
    QVERIFY(After.contains(QStringLiteral("EXCEPTION")));
    QCOMPARE(Morvane.state(), QProcess::Running);
    Morvane.kill();
    Morvane.waitForFinished(5000);
  }

  void EveryControlOfEveryViewHasAName() {
    QTemporaryDir Folder;
    const QString Project = Folder.filePath(QStringLiteral("Run.kvr"));
    WriteLines(Project, ProjectLines());
    QProcess Morvane;
    QVERIFY2(StartMorvane(Morvane, Project), "the results view");
    QStringList Unnamed;
    for (const char* View : {"Results", "Modules", "Scenario's"}) {
      const std::optional<TAccessible> Button = FBus->FindButton(FRoot, QLatin1String(View));
      QVERIFY2(Button, View);
      FBus->Press(*Button);
      QTest::qWait(500);
      for (const TAccessible& Application : FBus->Children(FRoot))
        FBus->Unnamed(Application, Unnamed);
    }
    QVERIFY2(Unnamed.isEmpty(), qPrintable(Unnamed.join(QLatin1Char('\n'))));
    Morvane.kill();
    Morvane.waitForFinished(5000);
  }

  // Each fault module, run in hosts: Morvane is still running with its
  // project afterwards, its tree shows each method's result (every method
  // of that name in the module), and the files equal the console runner's.
  void FaultModulesLeaveTheProgramRunning_data() {
    using TResults = QList<QPair<QString, QString>>;
    QTest::addColumn<QString>("Module");
    QTest::addColumn<QStringList>("UnitTests");
    QTest::addColumn<int>("TimeLimit");
    QTest::addColumn<TResults>("Results");
    QTest::newRow("crashes")
        << "Crashes"
        << QStringList{"TCrashMethods", "TStackOverflow", "TCrashInInit", "TCrashInExit"} << 0
        << TResults{{"TestAccessViolation", "EXCEPTION"}, {"TestAbort", "EXCEPTION"},
                    {"TestAfterCrashes", "SUCCESS"},      {"TestOverflow", "EXCEPTION"},
                    {"TestAfterOverflow", "SUCCESS"},     {"TestNeverCalled", "EXCEPTION"}};
    QTest::newRow("exits") << "Exits" << QStringList{"TExits", "TExitInInit"} << 0
                           << TResults{{"TestExit", "EXCEPTION"},
                                       {"TestQuickExit", "EXCEPTION"},
                                       {"TestAfterExits", "SUCCESS"},
                                       {"TestNotRun", "EXCEPTION"}};
    QTest::newRow("signals left behind")
        << "Signals"
        << QStringList{"TSegvDefault", "TSegvIgnored", "TSegvBlocked", "TAllBlocked",
                       "TBlockedPastLimit"}
        << 1
        << TResults{{"TestChange", "SUCCESS"},
                    {"TestCrash", "EXCEPTION"},
                    {"TestAfter", "SUCCESS"},
                    {"TestShort", "SUCCESS"},
                    {"TestHang", "EXCEPTION"}};
    QTest::newRow("hangs") << "Hangs" << QStringList{"THangs", "TAfterHangs"} << 1
                           << TResults{{"TestBusyLoop", "EXCEPTION"},
                                       {"TestAfterBusyLoop", "SUCCESS"},
                                       {"TestSleep", "EXCEPTION"},
                                       {"TestAfterSleep", "SUCCESS"},
                                       {"TestRuns", "SUCCESS"}};
    // The faults no guard inside a process contains, each in a module of its
    // own around one unit test: a method before, the fault, and a passing and
    // a failing method after it. A fault after a failed check keeps FAILURE.
    const struct {
      const char* Module;
      const char* UnitTest;
      const char* Fault;
    } Faults[] = {
        {"FaultDoubleFree", "TDoubleFree", "EXCEPTION"},
        {"FaultHeapOverflow", "THeapOverflow", "EXCEPTION"},
        {"FaultThreadCrash", "TThreadCrash", "EXCEPTION"},
        {"FaultThreadThrow", "TThreadThrow", "EXCEPTION"},
        {"FaultAlarm", "TAlarm", "EXCEPTION"},
        {"FaultFileSize", "TFileSize", "EXCEPTION"},
        {"FaultUnderscoreExit", "TUnderscoreExit", "FAILURE"},
        {"FaultExitGroup", "TExitGroup", "FAILURE"},
        {"FaultFork", "TFork", "FAILURE"},
    };
    for (const auto& Fault : Faults)
      QTest::newRow(Fault.Module) << Fault.Module << QStringList{Fault.UnitTest} << 0
                                  << TResults{{"TestBefore", "SUCCESS"},
                                              {"TestFault", Fault.Fault},
                                              {"TestAfter", "SUCCESS"},
                                              {"TestFailsAfter", "FAILURE"}};
    // Modules built with a sanitizer: the report ends the faulty method, and
    // the pages hold it as the console's files do.
    for (const char* Module :
         {"SanitizedHeapOverflow", "SanitizedSignedOverflow", "SanitizedDataRace", "SanitizedLeak"})
      QTest::newRow(Module) << Module << QStringList{"TSanitized"} << 0
                            << TResults{{"TestBefore", "SUCCESS"},
                                        {"TestFault", "EXCEPTION"},
                                        {"TestAfter", "SUCCESS"}};
    // A leak that only the module's end leaves: after its last method.
    QTest::newRow("SanitizedEndLeak")
        << "SanitizedEndLeak" << QStringList{"TSanitized"} << 0
        << TResults{
               {"TestBefore", "SUCCESS"}, {"TestFault", "SUCCESS"}, {"TestAfter", "EXCEPTION"}};
    QTest::newRow("outliving thread")
        << "FaultOutlivingThread" << QStringList{"TOutlivingThread"} << 0
        << TResults{{"TestBefore", "SUCCESS"},  {"TestStartThread", "SUCCESS"},
                    {"TestCrash", "EXCEPTION"}, {"TestWait", "SUCCESS"},
                    {"TestAfter", "SUCCESS"},   {"TestFailsAfter", "FAILURE"}};
    QTest::newRow("signals left by a test")
        << "FaultSignalsLeft"
        << QStringList{"TSegvDefault", "TSegvIgnored", "TSegvBlocked", "TAllBlocked"} << 1
        << TResults{{"TestBefore", "SUCCESS"},    {"TestLeaveForCrash", "SUCCESS"},
                    {"TestCrash", "EXCEPTION"},   {"TestLeaveForHang", "SUCCESS"},
                    {"TestHang", "EXCEPTION"},    {"TestAfter", "SUCCESS"},
                    {"TestFailsAfter", "FAILURE"}};
  }

  void FaultModulesLeaveTheProgramRunning() {
    QFETCH(QString, Module);
    QFETCH(QStringList, UnitTests);
    QFETCH(int, TimeLimit);
    using TResults = QList<QPair<QString, QString>>;
    QFETCH(TResults, Results);
    QTemporaryDir ManagerFolder;
    QTemporaryDir ConsoleFolder;
    const QString ManagerProject = ManagerFolder.filePath(QStringLiteral("Faults.kvr"));
    const QString ConsoleProject = ConsoleFolder.filePath(QStringLiteral("Faults.kvr"));
    WriteLines(ManagerProject, FaultProjectLines(Module, UnitTests, TimeLimit));
    WriteLines(ConsoleProject, FaultProjectLines(Module, UnitTests, TimeLimit));
    QCOMPARE(RunConsole(ConsoleProject), 1);

    QProcess Morvane;
    const std::optional<TAccessible> StartAll = StartMorvane(Morvane, ManagerProject);
    QVERIFY2(StartAll, "the results view's Start All button");
    StartAllAndCompare(*StartAll, ManagerFolder.path(), ConsoleFolder.path());
    QTest::qWait(300);
    QCOMPARE(Morvane.state(), QProcess::Running);
    // Still with its project: a window's caption names it.
    bool Captioned = false;
    for (const TAccessible& Application : FBus->Children(FRoot))
      for (const TAccessible& Window : FBus->Children(Application))
        Captioned = Captioned || FBus->Name(Window).endsWith(QStringLiteral("Faults.kvr"));
    QVERIFY2(Captioned, "the main window's caption names the project");
    const std::optional<TAccessible> Tree = FBus->Find(FRoot, QStringLiteral("Results"), TreeRoles);
    QVERIFY2(Tree, "the results tree");
    const QStringList Cells = FBus->CellTexts(*Tree);
    for (const auto& [Method, Status] : Results) {
      int Seen = 0;
      for (int I = 0; I + 1 < Cells.size(); ++I)
        if (Cells[I] == Method) {
          ++Seen;
          QVERIFY2(Cells[I + 1] == Status, qPrintable(Method + " " + Cells[I + 1]));
        }
      QVERIFY2(Seen > 0, qPrintable(Method + " in " + Cells.join(QLatin1Char(' '))));
    }
    Morvane.kill();
    Morvane.waitForFinished(5000);
  }
};

QTEST_GUILESS_MAIN(TResultsProgramTest)
#include "ResultsProgramTest.moc"
