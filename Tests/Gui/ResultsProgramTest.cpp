// The real morvane program driven as a screen reader drives it: through the
// desktop's accessibility bus it switches to the results view and presses
// Start All; the report files must then equal those of "kalvoro run" on the
// same project, dates and times aside, and again after a second Start All.
// Runs under xvfb-run and dbus-run-session (see CMakeLists.txt).
#include "ResultsRunProject.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using namespace Kalvoro;

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

constexpr unsigned RolePushButton = 43; // the accessibility bus's role number

void WriteLines(const QString& aPath, const QStringList& aLines) {
  QFile File(aPath);
  QVERIFY(File.open(QIODevice::WriteOnly));
  File.write((aLines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
}

// Waits until the file exists and has kept its size for half a second.
bool WaitForFile(const QString& aPath, int aTimeout) {
  QElapsedTimer Timer;
  Timer.start();
  qint64 Size = -1;
  int Steady = 0;
  while (Timer.elapsed() < aTimeout) {
    const qint64 Now = QFileInfo(aPath).exists() ? QFileInfo(aPath).size() : -1;
    Steady = Now >= 0 && Now == Size ? Steady + 1 : 0;
    if (Steady >= 5)
      return true;
    Size = Now;
    QTest::qWait(100);
  }
  return false;
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
  // The first push button of that name below aRoot, depth first.
  std::optional<TAccessible> FindButton(const TAccessible& aRoot, const QString& aName,
                                        int aDepth = 0) {
    if (aDepth > 0 && Role(aRoot) == RolePushButton && Name(aRoot) == aName)
      return aRoot;
    if (aDepth > 16)
      return std::nullopt;
    for (const TAccessible& Child : Children(aRoot))
      if (auto Found = FindButton(Child, aName, aDepth + 1))
        return Found;
    return std::nullopt;
  }
  // Presses the button without waiting: the press runs the whole command.
  void Press(const TAccessible& aButton) {
    QDBusMessage Message = QDBusMessage::createMethodCall(aButton.Service, aButton.Path.path(),
                                                          QStringLiteral("org.a11y.atspi.Action"),
                                                          QStringLiteral("DoAction"));
    Message << 0;
    FConnection.asyncCall(Message);
  }

private:
  QDBusConnection FConnection;
};

} // namespace

class TResultsProgramTest : public QObject {
  Q_OBJECT

private slots:
  void StartAllInTheProgramWritesWhatTheConsoleRunnerWrites() {
    qDBusRegisterMetaType<TAccessible>();
    qDBusRegisterMetaType<QList<TAccessible>>();
    QDBusInterface Launcher(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                            QStringLiteral("org.a11y.Bus"));
    const QDBusReply<QString> Address = Launcher.call(QStringLiteral("GetAddress"));
    if (!Address.isValid())
      QSKIP("no accessibility bus (at-spi2-core) in this session");

    QTemporaryDir ManagerFolder;
    QTemporaryDir ConsoleFolder;
    const QString ManagerProject = ManagerFolder.filePath(QStringLiteral("Run.kvr"));
    const QString ConsoleProject = ConsoleFolder.filePath(QStringLiteral("Run.kvr"));
    WriteLines(ManagerProject, ProjectLines());
    WriteLines(ConsoleProject, ProjectLines());
    QProcess Console;
    Console.start(QStringLiteral(KALVORO_EXECUTABLE), {QStringLiteral("run"), ConsoleProject});
    QVERIFY(Console.waitForFinished(60000));
    QCOMPARE(Console.exitCode(), 1);

    QProcess Morvane;
    QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
    Environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    Environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    Morvane.setProcessEnvironment(Environment);
    Morvane.start(QStringLiteral(MORVANE_EXECUTABLE), {ManagerProject});
    QVERIFY(Morvane.waitForStarted(5000));

    TBus Bus(QDBusConnection::connectToBus(Address.value(), QStringLiteral("a11y")));
    const TAccessible Root{QStringLiteral("org.a11y.atspi.Registry"),
                           QDBusObjectPath(QStringLiteral("/org/a11y/atspi/accessible/root"))};
    std::optional<TAccessible> Results;
    for (int Round = 0; Round < 100 && !Results; ++Round) {
      QTest::qWait(100);
      Results = Bus.FindButton(Root, QStringLiteral("Results"));
    }
    QVERIFY2(Results, "the navigation bar's Results button");
    Bus.Press(*Results);
    QTest::qWait(500);
    const std::optional<TAccessible> StartAll =
        Bus.FindButton(Root, QStringLiteral("Start All TestScenario's"));
    QVERIFY(StartAll);

    for (int Run = 0; Run < 2; ++Run) {
      for (const QString& File : ReportFiles)
        QFile::remove(ManagerFolder.filePath(File));
      Bus.Press(*StartAll);
      QVERIFY2(WaitForFile(ManagerFolder.filePath(QStringLiteral("Errors.txt")), 60000),
               "the run writes its report files");
      for (const QString& File : ReportFiles) {
        const QStringList Manager = Masked(ManagerFolder.filePath(File));
        QVERIFY2(Manager.size() > 10, qPrintable(File));
        QCOMPARE(Manager, Masked(ConsoleFolder.filePath(File)));
      }
      QVERIFY(Masked(ManagerFolder.filePath(QStringLiteral("Errors.txt")))
                  .contains(QStringLiteral(
                      "EXCEPTION (TStackOverflow.TestOverflow) Stack overflow (SIGSEGV)")));
    }
    QCOMPARE(Morvane.state(), QProcess::Running);
    Morvane.kill();
    Morvane.waitForFinished(5000);
  }
};

QTEST_GUILESS_MAIN(TResultsProgramTest)
#include "ResultsProgramTest.moc"
