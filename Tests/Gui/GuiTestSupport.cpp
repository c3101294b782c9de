#include "GuiTestSupport.h"

#include "Actions.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHelpEvent>
#include <QMenu>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>

namespace Kalvoro {

void RunIdle() {
  QEventLoop Loop;
  QTimer::singleShot(30, &Loop, &QEventLoop::quit);
  Loop.exec();
}

void RunAsEvent(const std::function<void()>& aBody) {
  bool Done = false;
  QMetaObject::invokeMethod(
      qApp,
      [&] {
        Done = true;
        aBody();
      },
      Qt::QueuedConnection);
  for (int Round = 0; Round < 100 && !Done; ++Round)
    QCoreApplication::processEvents();
  QCoreApplication::processEvents();
}

int ReportLeakedWindows() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  const QWidgetList Windows = QApplication::topLevelWidgets();
  for (const QWidget* Window : Windows)
    qWarning("A window was left behind: %s \"%s\" (\"%s\")", Window->metaObject()->className(),
             qPrintable(Window->objectName()), qPrintable(Window->windowTitle()));
  return static_cast<int>(Windows.size());
}

QString ShownToolTip(QWidget* aWidget) {
  QToolTip::hideText();
  QHelpEvent Help(QEvent::ToolTip, QPoint(5, 5), aWidget->mapToGlobal(QPoint(5, 5)));
  QCoreApplication::sendEvent(aWidget, &Help);
  const QString Shown = QToolTip::isVisible() ? QToolTip::text() : QString();
  QToolTip::hideText();
  return Shown;
}

namespace {

// "-" for a separator, else the entry's text (a menu entry's ends in a tab
// and its shortcut).
QStringList EntryTexts(const QList<QAction*>& aActions) {
  QStringList Texts;
  for (const QAction* Action : aActions)
    Texts << (Action->isSeparator() ? QStringLiteral("-") : Action->text());
  return Texts;
}

QStringList CommandTexts(const TCommandList& aCommands, TCommandPlace aPlace) {
  QStringList Texts;
  for (const TCommand& Command : aCommands) {
    if (!(Command.Places & aPlace))
      continue;
    QString Text = Command.IsSeparator() ? QStringLiteral("-") : Command.Caption;
    if (aPlace != cpToolBar && !Command.IsSeparator() && !Command.Shortcut.isEmpty())
      Text += QLatin1Char('\t') + Command.Shortcut.toString(QKeySequence::NativeText);
    Texts << Text;
  }
  return Texts;
}

} // namespace

void CheckCommandWidgets(const TCommandList& aCommands, const TCommandWidgets& aWidgets) {
  if (aWidgets.Menu != nullptr)
    QCOMPARE(EntryTexts(aWidgets.Menu->actions()), CommandTexts(aCommands, cpMenu));
  if (aWidgets.Popup != nullptr)
    QCOMPARE(EntryTexts(aWidgets.Popup->actions()), CommandTexts(aCommands, cpPopup));
  if (aWidgets.ToolBar == nullptr)
    return;
  QCOMPARE(EntryTexts(aWidgets.ToolBar->actions()), CommandTexts(aCommands, cpToolBar));
  for (const TCommand& Command : aCommands) {
    if (Command.IsSeparator() || !(Command.Places & cpToolBar))
      continue;
    auto* Button =
        aWidgets.ToolBar->findChild<QToolButton*>(QStringLiteral("btn") + Command.Name.mid(3));
    QVERIFY2(Button != nullptr, qPrintable(Command.Name));
    const QString Hint = (Command.HintPlaces & cpToolBar) ? Command.Hint : QString();
    QCOMPARE(ShownToolTip(Button), ShortHint(Hint));
    QCOMPARE(Button->statusTip(), LongHint(Hint));
  }
}

bool HasMapped(qint64 aProcess, const QString& aLibrary) {
  const QByteArray Path = QFile::encodeName(QFileInfo(aLibrary).canonicalFilePath());
  QFile Maps(QStringLiteral("/proc/%1/maps").arg(aProcess));
  return !Path.isEmpty() && Maps.open(QIODevice::ReadOnly) && Maps.readAll().contains(Path);
}

QList<qint64> ChildProcesses(qint64 aProcess) {
  QList<qint64> Result;
  const QString Tasks = QStringLiteral("/proc/%1/task").arg(aProcess);
  for (const QString& Task : QDir(Tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile Children(Tasks + '/' + Task + QStringLiteral("/children"));
    if (!Children.open(QIODevice::ReadOnly))
      continue;
    for (const QByteArray& Pid : Children.readAll().split(' '))
      if (const qint64 Child = Pid.trimmed().toLongLong(); Child > 0)
        Result.append(Child);
  }
  return Result;
}

} // namespace Kalvoro
