#include "GuiTestSupport.h"

#include <QEventLoop>
#include <QTimer>

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

} // namespace Kalvoro
