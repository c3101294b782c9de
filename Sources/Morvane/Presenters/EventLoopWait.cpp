#include "EventLoopWait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace Kalvoro {

namespace {
void Wait(const std::vector<int>& aDescriptors, int aMilliseconds,
          QEventLoop::ProcessEventsFlags aFlags) {
  if (aMilliseconds == 0) {
    // A look between two batches of a host's frames: what is pending (a
    // repaint, a Stop press) is handled, nothing is waited for.
    QCoreApplication::processEvents(aFlags);
    return;
  }
  QEventLoop Loop;
  std::vector<std::unique_ptr<QSocketNotifier>> Notifiers;
  std::vector<int> Watched;
  for (const int Descriptor : aDescriptors) {
    // One notifier per descriptor: the toolkit refuses a second one.
    if (Descriptor < 0 || std::find(Watched.begin(), Watched.end(), Descriptor) != Watched.end())
      continue;
    Watched.push_back(Descriptor);
    auto Notifier = std::make_unique<QSocketNotifier>(Descriptor, QSocketNotifier::Read);
    QObject::connect(Notifier.get(), &QSocketNotifier::activated, &Loop, &QEventLoop::quit);
    Notifiers.push_back(std::move(Notifier));
  }
  QTimer Timer;
  if (aMilliseconds > 0) {
    Timer.setSingleShot(true);
    Timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&Timer, &QTimer::timeout, &Loop, &QEventLoop::quit);
    Timer.start(aMilliseconds);
  }
  Loop.exec(aFlags);
}
} // namespace

void EventLoopWait(const std::vector<int>& aDescriptors, int aMilliseconds) {
  Wait(aDescriptors, aMilliseconds, QEventLoop::AllEvents);
}

void ListingWait(const std::vector<int>& aDescriptors, int aMilliseconds) {
  Wait(aDescriptors, aMilliseconds, QEventLoop::ExcludeUserInputEvents);
}

} // namespace Kalvoro
