// Shared pieces of the manager's widget tests besides those of the presenter
// tests (PresenterTestSupport.h): an idle pass of the event loop, events that
// reach the central error handler, and the test programs' main function.
#pragma once

#include "Application.h"
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

} // namespace Kalvoro

// main() of a GUI test program: the offscreen platform unless another is set,
// the manager's application object, then the test object.
#define KALVORO_GUI_TEST_MAIN(TestObject)                                                          \
  int main(int aArgc, char** aArgv) {                                                              \
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                            \
      qputenv("QT_QPA_PLATFORM", "offscreen");                                                     \
    Kalvoro::TMorvaneApplication Application(aArgc, aArgv);                                        \
    Kalvoro::InitializeIconTheme();                                                                \
    TestObject Test;                                                                               \
    return QTest::qExec(&Test, aArgc, aArgv);                                                      \
  }
