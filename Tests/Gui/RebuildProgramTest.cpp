// The real morvane program picks up rebuilt modules: driven through the
// desktop's accessibility bus (as the results view's program test drives it),
// it runs a project of two modules, one then rebuilt in place and one
// replaced by a rename. Both are listed again by themselves: the tree keeps
// its scenarios, unit tests and last results, which it says are out of date.
// With "Run again after a rebuild" ticked (and kept in the user's settings),
// the next rebuild runs Start All again and the tree shows the new results.
// Runs under xvfb-run and dbus-run-session (see CMakeLists.txt).
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
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

// An accessible object on the bus: its service and object path.
struct TAccessible {
  QString Service;
  QDBusObjectPath Path;
};
Q_DECLARE_METATYPE(TAccessible)

QDBusArgument& operator<<(QDBusArgument& aArgument, const TAccessible& aObject) {
  aArgument.beginStructure();
  aArgument << aObject.Service << aObject.Path;
  aArgument.endStructure();
  return aArgument;
}

const QDBusArgument& operator>>(const QDBusArgument& aArgument, TAccessible& aObject) {
  aArgument.beginStructure();
  aArgument >> aObject.Service >> aObject.Path;
  aArgument.endStructure();
  return aArgument;
}

namespace {

// The accessibility bus's role numbers.
constexpr unsigned RoleCheckBox = 7;
constexpr unsigned RoleLabel = 29;
constexpr unsigned RolePushButton = 43;
const QList<unsigned> TreeRoles = {55, 64, 65}; // table, tree, tree table

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

class TBus {
public:
  explicit TBus(const QDBusConnection& aConnection) : FConnection(aConnection) {}

  QDBusMessage Call(const TAccessible& aObject, const QString& aInterface, const QString& aMethod,
                    const QVariantList& aArguments = {}) {
    QDBusMessage Message =
        QDBusMessage::createMethodCall(aObject.Service, aObject.Path.path(), aInterface, aMethod);
    Message.setArguments(aArguments);
    return FConnection.call(Message, QDBus::Block, 5000);
  }
  QList<TAccessible> Children(const TAccessible& aObject) {
    const QDBusMessage Reply =
        Call(aObject, QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("GetChildren"));
    QList<TAccessible> Result;
    if (!Reply.arguments().isEmpty())
      Reply.arguments().at(0).value<QDBusArgument>() >> Result;
    return Result;
  }
  QString Name(const TAccessible& aObject) {
    const QDBusMessage Reply =
        Call(aObject, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
             {QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("Name")});
    return Reply.arguments().isEmpty()
               ? QString()
               : Reply.arguments().at(0).value<QDBusVariant>().variant().toString();
  }
  unsigned Role(const TAccessible& aObject) {
    const QDBusMessage Reply =
        Call(aObject, QStringLiteral("org.a11y.atspi.Accessible"), QStringLiteral("GetRole"));
    return Reply.arguments().isEmpty() ? 0 : Reply.arguments().at(0).toUInt();
  }
  // The first object of that name and one of aRoles below aRoot, depth first.
  std::optional<TAccessible> Find(const TAccessible& aRoot, const QString& aName,
                                  const QList<unsigned>& aRoles, int aDepth = 0) {
    if (aDepth > 0 && Name(aRoot) == aName && aRoles.contains(Role(aRoot)))
      return aRoot;
    if (aDepth > 16)
      return std::nullopt;
    for (const TAccessible& Child : Children(aRoot))
      if (auto Found = Find(Child, aName, aRoles, aDepth + 1))
        return Found;
    return std::nullopt;
  }
  // The tree's rows as "name=status" (its cells after the headers, three to
  // a row), after its headers joined by '|'.
  QStringList Rows(const TAccessible& aTree) {
    QStringList Cells;
    for (const TAccessible& Cell : Children(aTree))
      Cells << Name(Cell);
    QStringList Result{Cells.mid(0, 3).join(QLatin1Char('|'))};
    for (int I = 3; I + 1 < Cells.size(); I += 3)
      Result << Cells[I] + QLatin1Char('=') + Cells[I + 1];
    return Result;
  }
  // Runs the control's first action (a click) without waiting for it.
  void Press(const TAccessible& aControl) {
    QDBusMessage Message = QDBusMessage::createMethodCall(aControl.Service, aControl.Path.path(),
                                                          QStringLiteral("org.a11y.atspi.Action"),
                                                          QStringLiteral("DoAction"));
    Message << 0;
    FConnection.asyncCall(Message);
  }

private:
  QDBusConnection FConnection;
};

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
  const TAccessible FRoot{QStringLiteral("org.a11y.atspi.Registry"),
                          QDBusObjectPath(QStringLiteral("/org/a11y/atspi/accessible/root"))};

private slots:
  void initTestCase() {
    qDBusRegisterMetaType<TAccessible>();
    qDBusRegisterMetaType<QList<TAccessible>>();
    QDBusInterface Launcher(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                            QStringLiteral("org.a11y.Bus"));
    const QDBusReply<QString> Address = Launcher.call(QStringLiteral("GetAddress"));
    if (!Address.isValid() && qEnvironmentVariableIsSet("KALVORO_REQUIRE_ACCESSIBILITY"))
      QFAIL("no accessibility bus (at-spi2-core) in this session");
    if (!Address.isValid())
      QSKIP("no accessibility bus (at-spi2-core) in this session");
    FBus.emplace(QDBusConnection::connectToBus(Address.value(), QStringLiteral("a11y")));
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
    QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
    Environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    Environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    Environment.insert(QStringLiteral("XDG_CONFIG_HOME"), Settings.path());
    Morvane.setProcessEnvironment(Environment);
    Morvane.start(QStringLiteral(MORVANE_EXECUTABLE), {Project});
    QVERIFY(Morvane.waitForStarted(5000));
    std::optional<TAccessible> Button;
    QVERIFY2(WaitFor(
                 [&] {
                   Button = FBus->Find(FRoot, QStringLiteral("Results"), {RolePushButton});
                   return Button.has_value();
                 },
                 30000),
             "the Results button");
    FBus->Press(*Button);
    QTest::qWait(500);
    const std::optional<TAccessible> StartAll =
        FBus->Find(FRoot, QStringLiteral("Start All TestScenario's"), {RolePushButton});
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
    QVERIFY(WaitFor([&] { return FBus->Rows(*Tree) == Failing; }, 5000));

    // Both rebuilt: listed again; the rows, the disabled unit test and the
    // results stay, out of date.
    RebuildInPlace(InPlace, Built("GuiMended.so"));
    RebuildByRename(Renamed, Built("GuiMended.so"));
    QVERIFY2(WaitFor([&] { return FBus->Find(FRoot, OutOfDate, {RoleLabel}).has_value(); }, 60000),
             "the results say they are out of date");
    QCOMPARE(FBus->Rows(*Tree), Failing);

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
    QVERIFY(WaitFor([&] { return FBus->Rows(*Tree) == Passing; }, 10000));
    QVERIFY(!FBus->Find(FRoot, OutOfDate, {RoleLabel}).has_value());
    QCOMPARE(Morvane.state(), QProcess::Running);
    Morvane.kill();
    Morvane.waitForFinished(5000);
  }
};

QTEST_GUILESS_MAIN(TRebuildProgramTest)
#include "RebuildProgramTest.moc"
