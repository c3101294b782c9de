// The real morvane program picks up rebuilt modules: driven through the
// desktop's accessibility bus (as the results view's program test drives it),
// it runs a project of two modules, one then rebuilt in place and one
// replaced by a rename. Both are listed again by themselves: the tree keeps
// its scenarios, unit tests and last results, which it says are out of date.
// With "Run again after a rebuild" ticked (and kept in the user's settings),
// the next rebuild runs Start All again and the tree shows the new results.
// Runs on a virtual screen of its own under dbus-run-session (see CMakeLists.txt).
#include "BusDriver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <functional>
#include <optional>

using namespace Kalvoro;

namespace {

// The accessibility bus's role numbers beside the driver's.
constexpr unsigned RoleCheckBox = 7;
constexpr unsigned RoleLabel = 29;

const QString OutOfDate = QStringLiteral("Out of date: a module was rebuilt after this run");

QString Built(const char* aName) {
  return QStringLiteral(KALVORO_GUI_TEST_MODULES_DIR "/") + QLatin1String(aName);
}

QByteArray Bytes(const QString& aPath) {
  QFile File(aPath);
  return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

// A linker that writes its output over the old file.
void RebuildInPlace(const QString& aPath, const QString& aFrom) {
  QFile File(aPath);
  QVERIFY(File.open(QIODevice::WriteOnly | QIODevice::Truncate));
  const QByteArray Content = Bytes(aFrom);
  QCOMPARE(File.write(Content), Content.size());
}

// A linker that writes a temporary file and renames it over the old one.
void RebuildByRename(const QString& aPath, const QString& aFrom) {
  const QString Temporary = aPath + QStringLiteral(".tmp");
  QFile::remove(Temporary);
  QVERIFY(QFile::copy(aFrom, Temporary));
  QVERIFY(std::rename(Temporary.toLocal8Bit().constData(), aPath.toLocal8Bit().constData()) == 0);
}

// The tree's rows as "name=status" (its cells after the headers, three to
// a row), after its headers joined by '|'.
QStringList Rows(TBus& aBus, const TAccessible& aTree) {
  const QStringList Cells = aBus.CellTexts(aTree);
  QStringList Result{Cells.mid(0, 3).join(QLatin1Char('|'))};
  for (int I = 3; I + 1 < Cells.size(); I += 3)
    Result << Cells[I] + QLatin1Char('=') + Cells[I + 1];
  return Result;
}

// Waits until aReady holds, looking every 200 ms.
bool WaitFor(const std::function<bool()>& aReady, int aTimeout) {
  QElapsedTimer Timer;
  Timer.start();
  while (Timer.elapsed() < aTimeout) {
    if (aReady())
      return true;
    QTest::qWait(200);
  }
  return aReady();
}

} // namespace

class TRebuildProgramTest : public QObject {
  Q_OBJECT

  std::optional<TBus> FBus;
  const TAccessible FRoot = TBus::Root();

private slots:
  void initTestCase() {
    FBus.emplace();
    // scripts/test installs the bus and asks for it: there a missing bus fails.
    if (!FBus->Connected() && qEnvironmentVariableIsSet("KALVORO_REQUIRE_ACCESSIBILITY"))
      QFAIL("no accessibility bus (at-spi2-core) in this session");
    if (!FBus->Connected())
      QSKIP("no accessibility bus (at-spi2-core) in this session");
  }

  void RebuiltModulesArePickedUpAndTheRunRepeats() {
    QTemporaryDir Folder;
    QTemporaryDir Settings; // the user's settings: none yet
    const QString InPlace = Folder.filePath(QStringLiteral("inplace.so"));
    const QString Renamed = Folder.filePath(QStringLiteral("renamed.so"));
    QVERIFY(QFile::copy(Built("GuiRebuilt.so"), InPlace));
    QVERIFY(QFile::copy(Built("GuiRebuilt.so"), Renamed));
    const QString Project = Folder.filePath(QStringLiteral("Rebuilt.kvr"));
    QFile ProjectFile(Project);
    QVERIFY(ProjectFile.open(QIODevice::WriteOnly));
    const QStringList Lines = {"[Project]",
                               "Signature=Kalvoro",
                               "FileVersion=1.0",
                               "ModuleCount=2",
                               "ScenarioCount=2",
                               "[FileInfo]",
                               "SummaryEnabled=0",
                               "SummaryFileName=Summary.txt",
                               "LogEnabled=0",
                               "LogFileName=Log.txt",
                               "ErrorEnabled=1",
                               "ErrorFileName=Errors.txt",
                               "[Scenarios]",
                               "Name0=InPlace",
                               "Name1=Renamed",
                               "[Modules]",
                               "File0=" + InPlace,
                               "Load0=1",
                               "AssignmentCount0=2",
                               "File1=" + Renamed,
                               "Load1=1",
                               "AssignmentCount1=2",
                               '[' + InPlace + ']',
                               "Assign0=TRebuilt|InPlace|ENABLED",
                               "Assign1=TSteady|InPlace|DISABLED",
                               '[' + Renamed + ']',
                               "Assign0=TRebuilt|Renamed|ENABLED",
                               "Assign1=TSteady|Renamed|ENABLED",
                               "[Kalvoro/Options]",
                               "Hosts=1"};
    ProjectFile.write((Lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
    ProjectFile.close();

    QProcess Morvane;
    const std::optional<TAccessible> StartAll =
        StartMorvane(*FBus, Morvane, Project, Settings.path());
    QVERIFY2(StartAll, "the Start All button");
    const std::optional<TAccessible> Tree = FBus->Find(FRoot, QStringLiteral("Results"), TreeRoles);
    QVERIFY2(Tree, "the results tree");
    const QString Errors = Folder.filePath(QStringLiteral("Errors.txt"));
    FBus->Press(*StartAll);
    QVERIFY2(WaitFor([&] { return QFileInfo::exists(Errors); }, 60000), "Start All ends");
    const QStringList Failing = {"UnitTest|Status|Duration", "InPlace=FAILURE",  "TRebuilt=FAILURE",
                                 "TestChanging=FAILURE",     "TestKept=SUCCESS", "TSteady=TODO",
                                 "TestSteady=TODO",          "Renamed=FAILURE",  "TRebuilt=FAILURE",
                                 "TestChanging=FAILURE",     "TestKept=SUCCESS", "TSteady=SUCCESS",
                                 "TestSteady=SUCCESS"};
    QVERIFY(WaitFor([&] { return Rows(*FBus, *Tree) == Failing; }, 5000));

    // Both rebuilt: listed again; the rows, the disabled unit test and the
    // results stay, out of date.
    RebuildInPlace(InPlace, Built("GuiMended.so"));
    RebuildByRename(Renamed, Built("GuiMended.so"));
    QVERIFY2(WaitFor([&] { return FBus->Find(FRoot, OutOfDate, {RoleLabel}).has_value(); }, 60000),
             "the results say they are out of date");
    QCOMPARE(Rows(*FBus, *Tree), Failing);

    // With the toggle on (kept for the user), the next rebuild runs Start
    // All again: the mended method passes, the disabled unit test does not run.
    const std::optional<TAccessible> Toggle =
        FBus->Find(FRoot, QStringLiteral("Run again after a rebuild"), {RoleCheckBox});
    QVERIFY2(Toggle, "the Run again after a rebuild toggle");
    FBus->Press(*Toggle);
    const QString Stored = Settings.filePath(QStringLiteral("Kalvoro/Morvane.conf"));
    QVERIFY2(WaitFor([&] { return Bytes(Stored).contains("RunAgainAfterRebuild=true"); }, 5000),
             "the toggle is kept in the user's settings");
    QVERIFY(QFile::remove(Errors));
    RebuildInPlace(InPlace, Built("GuiMended.so"));
    RebuildByRename(Renamed, Built("GuiMended.so"));
    QVERIFY2(WaitFor([&] { return QFileInfo::exists(Errors); }, 120000), "the run repeats");
    const QStringList Passing = {"UnitTest|Status|Duration", "InPlace=SUCCESS",  "TRebuilt=SUCCESS",
                                 "TestChanging=SUCCESS",     "TestKept=SUCCESS", "TSteady=TODO",
                                 "TestSteady=TODO",          "Renamed=SUCCESS",  "TRebuilt=SUCCESS",
                                 "TestChanging=SUCCESS",     "TestKept=SUCCESS", "TSteady=SUCCESS",
                                 "TestSteady=SUCCESS"};
    QVERIFY(WaitFor([&] { return Rows(*FBus, *Tree) == Passing; }, 10000));
    QVERIFY(!FBus->Find(FRoot, OutOfDate, {RoleLabel}).has_value());
    QCOMPARE(Morvane.state(), QProcess::Running);
    Morvane.kill();
    Morvane.waitForFinished(5000);
  }
};

QTEST_GUILESS_MAIN(TRebuildProgramTest)
#include "RebuildProgramTest.moc"
