// The real morvane program driven through the desktop's accessibility bus,
// as a screen reader drives it, after Start All on the demo's unit tests:
// Next and Previous Failure walk the failures and the details pane tells
// each one's check with its FILE:LINE; Run Selected runs only the selected
// method; a failure opens at its line in the editor chosen in Tools >
// Preferences..., here a script that records its arguments, so that no
// real editor starts. Runs on a virtual screen of its own under dbus-run-session.
#include "BusDriver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

using namespace Kalvoro;

namespace {

constexpr unsigned RoleDialog = 16;
const QString DemoSource = QStringLiteral(KALVORO_SOURCE_DIR "/Examples/Demo/DemoTests.cpp");

// The demo's unit tests with a failed check (TMathTest.TestDivide), a raised
// error (TestModulo), a passing one and a failing Init, run in hosts; the
// rest are disabled.
QStringList ProjectLines() {
  const QString Demo = QStringLiteral(KALVORO_EXAMPLES_DIR "/Demo.so");
  return {"[Project]",
          "Signature=Kalvoro",
          "FileVersion=1.0",
          "ModuleCount=1",
          "ScenarioCount=1",
          "[FileInfo]",
          "SummaryEnabled=0",
          "SummaryFileName=Summary.txt",
          "LogEnabled=0",
          "LogFileName=Log.txt",
          "ErrorEnabled=1",
          "ErrorFileName=Errors.txt",
          "[Scenarios]",
          "Name0=Default Scenario",
          "[Modules]",
          "File0=" + Demo,
          "Load0=1",
          "AssignmentCount0=6",
          '[' + Demo + ']',
          "Assign0=TMathTest|Default Scenario|ENABLED",
          "Assign1=TStackTest|Default Scenario|ENABLED",
          "Assign2=TBrokenInitTest|Default Scenario|ENABLED",
          "Assign3=TBrokenExitTest|Default Scenario|DISABLED",
          "Assign4=TCrashTest|Default Scenario|DISABLED",
          "Assign5=TNoMethodsTest|Default Scenario|DISABLED",
          "[Kalvoro/Options]",
          "Hosts=1"};
}

// The line of the demo's source that holds the text.
int SourceLine(const QString& aText) {
  QFile File(DemoSource);
  if (!File.open(QIODevice::ReadOnly))
    return -1;
  const QStringList Lines = QString::fromUtf8(File.readAll()).split(QLatin1Char('\n'));
  for (int I = 0; I < Lines.size(); ++I)
    if (Lines[I].contains(aText))
      return I + 1;
  return -1;
}

} // namespace

class TResultsChoiceProgramTest : public QObject {
  Q_OBJECT

  std::optional<TBus> FBus;
  QTemporaryDir FFolder;
  QTemporaryDir FConfigHome;
  QProcess FMorvane;

  // The results view's tree as its cells read.
  QStringList TreeCells() {
    const std::optional<TAccessible> Tree =
        FBus->Find(TBus::Root(), QStringLiteral("Results"), TreeRoles);
    return Tree ? FBus->CellTexts(*Tree) : QStringList();
  }
  // The status that the tree shows beside the method's name.
  QString StatusOf(const QString& aMethod) {
    const QStringList Cells = TreeCells();
    const qsizetype At = Cells.indexOf(aMethod);
    return At >= 0 && At + 1 < Cells.size() ? Cells[At + 1] : QString();
  }
  QString Details() {
    const std::optional<TAccessible> Pane =
        FBus->Find(TBus::Root(), QStringLiteral("Details"), {RoleText, RoleEntry});
    return Pane ? FBus->Text(*Pane) : QStringLiteral("<no details pane>");
  }
  // Presses a menu entry of the program, found by its caption.
  bool Choose(const QString& aEntry) {
    const std::optional<TAccessible> Entry = FBus->WaitFor(aEntry, {RoleMenuItem}, 5000);
    if (Entry)
      FBus->Press(*Entry);
    QTest::qWait(300);
    return Entry.has_value();
  }
  // Chooses Next or Previous Failure until the details pane's first line
  // reads aShown (within 5 s); false when it does not.
  bool GoToFailure(const QString& aEntry, const QString& aShown) {
    if (!Choose(aEntry))
      return false;
    for (int Round = 0; Round < 50; ++Round, QTest::qWait(100))
      if (Details().startsWith(aShown + QLatin1Char('\n')))
        return true;
    return false;
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

  // Each case starts the program afresh and runs every test once.
  void init() {
    if (FMorvane.state() != QProcess::NotRunning) { // a case before failed at its start
      FMorvane.kill();
      FMorvane.waitForFinished(5000);
    }
    const QString Project = FFolder.filePath(QStringLiteral("Choice.kvr"));
    WriteLines(Project, ProjectLines());
    const std::optional<TAccessible> StartAll =
        StartMorvane(*FBus, FMorvane, Project, FConfigHome.path());
    QVERIFY2(StartAll, "the results view's Start All button");
    QFile::remove(FFolder.filePath(QStringLiteral("Errors.txt")));
    FBus->Press(*StartAll);
    QVERIFY2(WaitForFile(FFolder.filePath(QStringLiteral("Errors.txt")), 60000),
             "Start All writes its errors file");
    QCOMPARE(StatusOf(QStringLiteral("TestDivide")), QStringLiteral("FAILURE"));
  }

  void cleanupTestCase() { FMorvane.kill(), FMorvane.waitForFinished(5000); }

  void cleanup() {
    QCOMPARE(FMorvane.state(), QProcess::Running);
    FMorvane.kill();
    FMorvane.waitForFinished(5000);
  }

  void NextAndPreviousFailureShowEachFailureInTheDetailsPane() {
    const struct {
      const char* Entry;
      const char* Shown; // the details pane's first line
    } Steps[] = {
        {"Next Failure", "TMathTest.TestDivide: FAILURE"},
        {"Next Failure", "TMathTest.TestModulo: EXCEPTION"},
        {"Next Failure", "TBrokenInitTest.TestNeverRuns: EXCEPTION"},
        {"Previous Failure", "TMathTest.TestModulo: EXCEPTION"},
        {"Previous Failure", "TMathTest.TestDivide: FAILURE"},
    };
    for (const auto& Step : Steps)
      QVERIFY2(GoToFailure(QLatin1String(Step.Entry), QLatin1String(Step.Shown)),
               qPrintable(Step.Entry + (": " + Details())));
    // The failed check: the file as the compiler named it, its line, its text.
    const QString Check = QStringLiteral("^FAILURE (\\S*/)?Examples/Demo/DemoTests\\.cpp:%1: "
                                         "third is 0\\.33$")
                              .arg(SourceLine(QStringLiteral("\"third is 0.33\"")));
    const QStringList Lines = Details().split(QLatin1Char('\n'));
    QVERIFY2(!Lines.filter(QRegularExpression(Check)).isEmpty(), qPrintable(Lines.join('|')));
  }

  void RunSelectedRunsOnlyTheSelectedMethod() {
    QVERIFY(GoToFailure(QStringLiteral("Next Failure"),
                        QStringLiteral("TMathTest.TestDivide: FAILURE")));
    const std::optional<TAccessible> RunSelected =
        FBus->FindButton(TBus::Root(), QStringLiteral("Run Selected"));
    QVERIFY2(RunSelected, "the Run Selected button");
    const QString Errors = FFolder.filePath(QStringLiteral("Errors.txt"));
    QFile::remove(Errors);
    FBus->Press(*RunSelected);
    QVERIFY2(WaitForFile(Errors, 60000), "Run Selected writes its errors file");
    QFile File(Errors);
    QVERIFY(File.open(QIODevice::ReadOnly));
    const QString Written = QString::fromUtf8(File.readAll());
    QVERIFY2(Written.contains(QLatin1String("(TMathTest.TestDivide)")), qPrintable(Written));
    QVERIFY2(!Written.contains(QLatin1String("TestModulo")), qPrintable(Written));
    QVERIFY2(!Written.contains(QLatin1String("TestNeverRuns")), qPrintable(Written));
    const struct {
      const char* Method;
      const char* Status;
    } Shown[] = {{"TestDivide", "FAILURE"},
                 {"TestModulo", "TODO"},
                 {"TestAdd", "TODO"},
                 {"TestNeverRuns", "TODO"}};
    for (const auto& Row : Shown)
      QVERIFY2(StatusOf(QLatin1String(Row.Method)) == QLatin1String(Row.Status), Row.Method);
  }

  void AFailureOpensInTheEditorChosenInThePreferences() {
    // The "editor": a script that writes its arguments, one a line.
    const QString Script = FFolder.filePath(QStringLiteral("edit.sh"));
    const QString Opened = Script + QStringLiteral(".args");
    {
      QFile File(Script);
      QVERIFY(File.open(QIODevice::WriteOnly));
      File.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.part\" && mv \"$0.part\" \"$0.args\"\n");
    }
    QVERIFY(QFile::setPermissions(Script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString Template = QStringLiteral("\"%1\" --line {line} {file}").arg(Script);

    // Tools > Preferences...: every control named; the editor typed in, OK.
    QVERIFY(Choose(QStringLiteral("Preferences...")));
    const std::optional<TAccessible> Dialog =
        FBus->WaitFor(QStringLiteral("Preferences"), {RoleDialog});
    QVERIFY2(Dialog, "the Preferences dialog");
    QStringList Unnamed;
    FBus->Unnamed(*Dialog, Unnamed);
    QVERIFY2(Unnamed.isEmpty(), qPrintable(Unnamed.join(QLatin1Char('\n'))));
    const std::optional<TAccessible> Editor =
        FBus->Find(*Dialog, QStringLiteral("Editor command"), {RoleEntry, RoleText});
    QVERIFY2(Editor, "the editor's command field");
    FBus->SetText(*Editor, Template);
    const std::optional<TAccessible> Ok = FBus->FindButton(*Dialog, QStringLiteral("OK"));
    QVERIFY2(Ok, "the dialog's OK button");
    FBus->Press(*Ok);
    // Kept in the user's settings file, not the project.
    const QString Settings = FConfigHome.filePath(QStringLiteral("Kalvoro/Morvane.conf"));
    QTRY_COMPARE_WITH_TIMEOUT(QSettings(Settings, QSettings::IniFormat)
                                  .value(QStringLiteral("Editor/Command"))
                                  .toString(),
                              Template, 5000);

    // Open in Editor on the failed check: the script gets its file and line.
    QVERIFY(GoToFailure(QStringLiteral("Next Failure"),
                        QStringLiteral("TMathTest.TestDivide: FAILURE")));
    QVERIFY(Choose(QStringLiteral("Open in Editor")));
    QVERIFY2(WaitForFile(Opened, 10000), "the editor script ran");
    QFile Arguments(Opened);
    QVERIFY(Arguments.open(QIODevice::ReadOnly));
    const QStringList Words =
        QString::fromUtf8(Arguments.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QString Recorded = Words.value(2);
    QCOMPARE(Words, (QStringList{QStringLiteral("--line"),
                                 QString::number(SourceLine(QStringLiteral("\"third is 0.33\""))),
                                 Recorded}));
    // The file, found from the module's folder or one above it.
    QCOMPARE(QFileInfo(Recorded).canonicalFilePath(), QFileInfo(DemoSource).canonicalFilePath());
  }
};

QTEST_GUILESS_MAIN(TResultsChoiceProgramTest)
#include "ResultsChoiceProgramTest.moc"
