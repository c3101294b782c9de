#include "BusDriver.h"

#include <QDBusInterface>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

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

namespace Kalvoro {

namespace {

const QString AccessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");

// The address of the session's accessibility bus, or empty.
QString BusAddress() {
  QDBusInterface Launcher(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                          QStringLiteral("org.a11y.Bus"));
  const QDBusReply<QString> Address = Launcher.call(QStringLiteral("GetAddress"));
  return Address.isValid() ? Address.value() : QString();
}

} // namespace

void WriteLines(const QString& aPath, const QStringList& aLines) {
  QFile File(aPath);
  QVERIFY(File.open(QIODevice::WriteOnly));
  File.write((aLines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
}

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

TBus::TBus() : FConnection(QDBusConnection::connectToBus(BusAddress(), QStringLiteral("a11y"))) {
  qDBusRegisterMetaType<TAccessible>();
  qDBusRegisterMetaType<QList<TAccessible>>();
}

TAccessible TBus::Root() {
  return {QStringLiteral("org.a11y.atspi.Registry"),
          QDBusObjectPath(QStringLiteral("/org/a11y/atspi/accessible/root"))};
}

QDBusMessage TBus::Call(const TAccessible& aObject, const QString& aInterface,
                        const QString& aMethod, const QVariantList& aArguments) {
  QDBusMessage Message =
      QDBusMessage::createMethodCall(aObject.Service, aObject.Path.path(), aInterface, aMethod);
  Message.setArguments(aArguments);
  return FConnection.call(Message, QDBus::Block, 5000);
}

QList<TAccessible> TBus::Children(const TAccessible& aObject) {
  const QDBusMessage Reply = Call(aObject, AccessibleInterface, QStringLiteral("GetChildren"));
  QList<TAccessible> Result;
  if (!Reply.arguments().isEmpty())
    Reply.arguments().at(0).value<QDBusArgument>() >> Result;
  return Result;
}

QString TBus::Name(const TAccessible& aObject) {
  const QDBusMessage Reply =
      Call(aObject, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
           {AccessibleInterface, QStringLiteral("Name")});
  return Reply.arguments().isEmpty()
             ? QString()
             : Reply.arguments().at(0).value<QDBusVariant>().variant().toString();
}

unsigned TBus::Role(const TAccessible& aObject) {
  const QDBusMessage Reply = Call(aObject, AccessibleInterface, QStringLiteral("GetRole"));
  return Reply.arguments().isEmpty() ? 0 : Reply.arguments().at(0).toUInt();
}

std::optional<TAccessible> TBus::Find(const TAccessible& aRoot, const QString& aName,
                                      const QList<unsigned>& aRoles, int aDepth) {
  // A menu entry's name ends with its shortcut after a tab.
  if (aDepth > 0 && Name(aRoot).section(QLatin1Char('\t'), 0, 0) == aName &&
      aRoles.contains(Role(aRoot)))
    return aRoot;
  if (aDepth > 16)
    return std::nullopt;
  for (const TAccessible& Child : Children(aRoot))
    if (auto Found = Find(Child, aName, aRoles, aDepth + 1))
      return Found;
  return std::nullopt;
}

std::optional<TAccessible> TBus::WaitFor(const QString& aName, const QList<unsigned>& aRoles,
                                         int aTimeout) {
  QElapsedTimer Timer;
  Timer.start();
  std::optional<TAccessible> Found;
  while (!(Found = Find(Root(), aName, aRoles)) && Timer.elapsed() < aTimeout)
    QTest::qWait(100);
  return Found;
}

QStringList TBus::CellTexts(const TAccessible& aTree) {
  QStringList Texts;
  for (const TAccessible& Cell : Children(aTree))
    Texts << Name(Cell);
  return Texts;
}

QString TBus::Text(const TAccessible& aField) {
  const QDBusMessage Reply =
      Call(aField, QStringLiteral("org.a11y.atspi.Text"), QStringLiteral("GetText"), {0, -1});
  return Reply.arguments().isEmpty() ? QString() : Reply.arguments().at(0).toString();
}

void TBus::SetText(const TAccessible& aField, const QString& aText) {
  Call(aField, QStringLiteral("org.a11y.atspi.EditableText"), QStringLiteral("SetTextContents"),
       {aText});
}

void TBus::Unnamed(const TAccessible& aRoot, QStringList& aFound, int aDepth) {
  if (aDepth > 20)
    return;
  for (const TAccessible& Child : Children(aRoot)) {
    const unsigned ChildRole = Role(Child);
    if (ControlRoles.contains(ChildRole) && Name(Child).trimmed().isEmpty())
      aFound << QStringLiteral("role %1 in \"%2\"").arg(ChildRole).arg(Name(aRoot));
    if (!TreeRoles.contains(ChildRole))
      Unnamed(Child, aFound, aDepth + 1);
  }
}

void TBus::Press(const TAccessible& aObject) {
  QDBusMessage Message = QDBusMessage::createMethodCall(aObject.Service, aObject.Path.path(),
                                                        QStringLiteral("org.a11y.atspi.Action"),
                                                        QStringLiteral("DoAction"));
  Message << 0;
  FConnection.asyncCall(Message);
}

std::optional<TAccessible> StartMorvane(TBus& aBus, QProcess& aMorvane, const QString& aProject,
                                        const QString& aConfigHome) {
  QProcessEnvironment Environment = QProcessEnvironment::systemEnvironment();
  Environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
  Environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  Environment.insert(QStringLiteral("XDG_CONFIG_HOME"), aConfigHome);
  aMorvane.setProcessEnvironment(Environment);
  // What the program says goes to the test's output, for a failure's story.
  aMorvane.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  aMorvane.start(QStringLiteral(MORVANE_EXECUTABLE), {aProject});
  if (!aMorvane.waitForStarted(5000))
    return std::nullopt;
  const std::optional<TAccessible> Results =
      aBus.WaitFor(QStringLiteral("Results"), {RolePushButton}, 60000);
  if (!Results) {
    qWarning("morvane's window is not on the bus; the program is %s (exit status %d)",
             aMorvane.state() == QProcess::Running ? "running" : "gone", aMorvane.exitCode());
    return std::nullopt;
  }
  aBus.Press(*Results);
  // The results view comes when the program gets to it: on a loaded machine
  // later than any fixed pause.
  return aBus.WaitFor(QStringLiteral("Start All TestScenario's"), {RolePushButton}, 30000);
}

} // namespace Kalvoro
