// Shared pieces of the manager's widget tests besides those of the presenter
// tests (PresenterTestSupport.h): an idle pass of the event loop, events that
// reach the central error handler, and the test programs' main function.
#pragma once

#include "Application.h"
#include "CommandActions.h"
#include "Images.h"
#include "PresenterTestSupport.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtTest>

#include <functional>

namespace Kalvoro {

// Lets the event loop go idle once, so that idle-time work (the actions'
// enabling rules) runs as it does for a user.
void RunIdle();

// Runs aBody as an event of the event loop, so that an error it raises reaches
// the application's central handler as a user's command would.
void RunAsEvent(const std::function<void()>& aBody);

// Deletes what waits to be deleted, then names on standard error every
// top-level window that is still there; returns their number.
int ReportLeakedWindows();

// The tool-tip that the widget shows when the mouse rests on it; empty when
// it shows none.
QString ShownToolTip(QWidget* aWidget);

// Checks that a view shows its presenter's commands where they say: the
// entries of its tool bar, menu and context menu in order (captions, menu
// entries with their shortcuts, separators), and each tool button's tool-tip
// and status text from the hint where it stands on the tool bar (no tool-tip
// at all without one). A null widget is not checked.
void CheckCommandWidgets(const TCommandList& aCommands, const TCommandWidgets& aWidgets);

// Whether process aProcess has the library mapped (its file, through links).
bool HasMapped(qint64 aProcess, const QString& aLibrary);
// The living processes whose parent is aProcess (the run hosts of a program).
QList<qint64> ChildProcesses(qint64 aProcess);

} // namespace Kalvoro

// main() of a GUI test program: the offscreen platform unless another is set,
// the manager's application object, then the test object. A window left
// behind once the test object has gone fails the program.
#define KALVORO_GUI_TEST_MAIN(TestObject)                                                          \
  int main(int aArgc, char** aArgv) {                                                              \
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                            \
      qputenv("QT_QPA_PLATFORM", "offscreen");                                                     \
    Kalvoro::TMorvaneApplication Application(aArgc, aArgv);                                        \
    Kalvoro::InitializeIconTheme();                                                                \
    int Result = 0;                                                                                \
    {                                                                                              \
      TestObject Test;                                                                             \
      Result = QTest::qExec(&Test, aArgc, aArgv);                                                  \
    }                                                                                              \
    const int Leaked = Kalvoro::ReportLeakedWindows();                                             \
    return Result != 0 ? Result : Leaked;                                                          \
  }
