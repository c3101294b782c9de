// Checks and reports that a test makes from threads of its own. Handlers are
// called on the thread that runs the method only (Morvane's widgets, for one,
// are not made for other threads), so a Check or Report from another thread
// is queued for the method of its unit test that runs when it is made; the
// running thread delivers the queue, in the order made, at the latest when
// the phase ends. One made while no method of its unit test runs is dropped
// and counted.
#pragma once

#include "UnitTestCore.h"

#include <string>

namespace Kalvoro::ThreadMessages {

// A Check (condition, text, place) or a Report (text) waiting for delivery.
struct TQueued {
  bool IsCheck = false;
  bool Condition = true;
  std::string Text;
  TSourceLocation Where = TSourceLocation::current();
};

// Lives on the thread that runs a method of aUnitTest while the method runs.
// Until Close, messages of other threads for aUnitTest are queued; TakeNext
// delivers them until the window is destroyed, which drops what is left.
class TWindow {
public:
  explicit TWindow(const TUnitTestBase* aUnitTest);
  ~TWindow();
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;
  void Close() noexcept;

private:
  const TUnitTestBase* FOuterUnitTest;
  unsigned long long FOuterWindow;
  bool FOpen = true;
};

// Lives on the stack of a scenario's run (and through a run host's life):
// messages dropped meanwhile are counted for it; outside every run a late
// message raises what it raised.
class KALVORO_API TRunScope {
public:
  TRunScope();
  ~TRunScope();
  TRunScope(const TRunScope&) = delete;
  TRunScope& operator=(const TRunScope&) = delete;
  // How many messages were dropped since the scope opened.
  int Dropped() const noexcept;

private:
  unsigned FDroppedBefore;
};
// Whether a scenario's run is under way in some thread.
bool RunInProgress() noexcept;

// Whether the calling thread runs a method of aUnitTest now.
bool RunsOnThisThread(const TUnitTestBase* aUnitTest) noexcept;
// Whether the calling thread has run a method: such a thread's calls outside
// a method are the program's, not a test thread's.
bool RunsMethods() noexcept;
// From another thread: queues aMessage for the running method of aUnitTest;
// false when none runs.
bool Queue(const TUnitTestBase* aUnitTest, TQueued&& aMessage);
// On the running thread: the next message of its window, if there is one.
bool TakeNext(TQueued& aMessage);
// Counts a message that came when no method of its unit test ran.
void Drop() noexcept;
// How many messages have been dropped in this process so far.
KALVORO_API unsigned Dropped() noexcept;

} // namespace Kalvoro::ThreadMessages
