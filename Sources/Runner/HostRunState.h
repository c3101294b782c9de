// What the parts of a run in hosts share: the runs of one scenario (each a
// module's methods, or with several jobs a unit test's, with the host that
// runs them), the method being read, and the run's stop, interruption and
// counts. THostRunner owns it; its pool, plans, reader, runs ahead, replay
// and deadlines each hold a reference.
#pragma once

#include "HostBacklog.h"
#include "HostPool.h"
#include "HostProtocol.h"
#include "TestKind.h"
#include "UnitTestBase.h"

#include "Interruption.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Kalvoro {

// A method's phase as the host's progress messages tell it.
enum class THostPhase : std::uint8_t { None, Init, AfterInit, Method, AfterMethod, Exit, Done };

// One method of a run's plan.
struct THostEntry {
  TUnitTestBase* UnitTest;
  int UnitTestIndex;
  int Method;
};

// One module's part of the scenario run and its host; with several jobs,
// one unit test's.
struct THostRun {
  std::vector<THostEntry> Entries;
  TPooledHost Host;
  std::size_t HostBase = 0; // the entry of the host's first plan entry
  std::size_t Next = 0;     // the entry that the run should ask for next
  std::size_t Rank = 0;     // its place among the scenario's runs
  std::size_t First = 0;    // where its first and last entries come in the run
  std::size_t Last = 0;
  int EarlyDeaths = 0;       // hosts in a row that ended before a method
  bool Sanitized = false;    // built with a sanitizer: its reports are looked for
  bool EndsWithHost = false; // its host ends with it, looking for leaks
  std::string GiveUp;        // set: the remaining methods end with it
  // Running ahead of the run (HostAhead.h): what its host sent so far, and
  // how its plan stands.
  THostBacklog Backlog;
  bool Started = false;  // a host was given its plan
  bool Ahead = false;    // started ahead and not read by the run yet
  bool PlanOver = false; // its host finished, retired or ended
  bool StopSent = false; // its host was told to stop ahead
  std::string Broken;    // what went wrong while reading it ahead
  std::string Killed;    // why the runner killed it ahead
  // Progress read ahead: the methods its host finished, those of them not
  // written yet, and whether its host began the next one.
  std::size_t DoneAhead = 0;
  int FinishedAhead = 0;
  bool BegunAhead = false;
  bool StopOver = false; // its host's plan ended after a stop
};

// The method that the run asked for, as its host's frames replay it.
struct THostMethod {
  TUnitTestBase* UnitTest;
  TUnitTestMethod* Method;
  std::size_t Position;
  THostPhase Phase = THostPhase::None;
  bool Done = false;
  bool HostStarted = false; // the current host has sent something for it
  bool EndsModule = false;  // its Exit finishes once the module's host ended
  bool ExitHeld = false;    // its Exit's finish waits for that end
};

struct THostRunState {
  explicit THostRunState(TWaitHook aWait) : Wait(std::move(aWait)) {}

  TWaitHook Wait;
  TTestScenario* Scenario = nullptr;
  int Jobs = 1;
  std::function<bool(const TUnitTestBase&)> Serial;
  std::size_t Reading = 0; // the rank of the run being read
  THostRun* ReadingRun = nullptr;
  const THostMethod* ReadingMethod = nullptr;
  bool Stop = false;
  bool StopNow = false;
  bool StopSent = false;
  int Forwarded = 0;            // the interruption passed on to the hosts
  std::int64_t ForwardedAt = 0; // when it was passed on
  int Dropped = 0;              // the hosts' dropped messages of this run
  int FinishedAhead = 0;        // methods finished ahead, not written yet
  std::function<void()> ProgressHook;
  bool RaisedByOutside = false; // the error on its way came from Outside

  // Whether the run stops: a stop, or an interruption seen or passed on.
  bool Stopping() const { return Stop || Forwarded != 0 || InterruptSignal() != 0; }

  // Runs aCall, a handler or the wait: an error that it raises is not the
  // host's and ends the run.
  template <class TCall> void Outside(TCall&& aCall) {
    try {
      aCall();
    } catch (...) {
      RaisedByOutside = true;
      throw;
    }
  }
  // Whether the error being handled came from Outside (and forgets it).
  bool RaisedOutside() { return std::exchange(RaisedByOutside, false); }
  void WaitFor(const std::vector<int>& aDescriptors, int aMilliseconds) {
    Outside([&] { Wait(aDescriptors, aMilliseconds); });
  }

  // Adds the count of a Dropped frame.
  void CountDropped(std::string_view aPayload) {
    Dropped = static_cast<int>(
        std::min<std::int64_t>(std::int64_t{Dropped} + DecodeDropped(aPayload), INT_MAX));
  }

  void ProgressChanged() {
    if (ProgressHook)
      Outside([&] { ProgressHook(); });
  }
  // Forgets aRun's backlog, and the methods it counted as finished ahead.
  void DropBacklog(THostRun& aRun) {
    aRun.Backlog.Clear();
    if (aRun.FinishedAhead == 0)
      return;
    FinishedAhead -= aRun.FinishedAhead;
    aRun.FinishedAhead = 0;
    ProgressChanged();
  }
  // The method being read is written: it no longer counts as finished ahead.
  void MethodWritten() {
    if (ReadingRun != nullptr && ReadingRun->FinishedAhead > 0) {
      --ReadingRun->FinishedAhead;
      --FinishedAhead;
    }
  }
};

} // namespace Kalvoro
