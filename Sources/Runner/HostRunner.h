// Runs a scenario's methods in run hosts: processes of their own that load
// the method's module, run the method with the in-process guards and report
// every message and result, while this process only reads. A crash, a hang,
// an exit, a forked child or a thread that outlives its test ends at worst
// its host; the runner words that as an exception of the phase that ran.
//
// The scenario runs as always (its start, its unit tests' starts and
// finishes, its summary); only each method's Init, body and Exit run in a
// host. Each module's methods of the scenario go to a host as one plan, which
// the host runs in the scenario's order, ahead of the reading where it can; a
// host that finished a plan cleanly serves the next module's (of this
// scenario or a later one of this runner), so that few hosts start, and is
// sent the next module's plan ahead, so that it loads and runs on while this
// process still reads; the
// runner rebuilds each message and fires it through the scenario's own event
// list, so that every handler sees what it sees in process.
//
// With several jobs (SetJobs) each unit test's methods are a plan of their
// own, and the unit tests after the one being read run ahead in hosts of
// their own, as many at once as the jobs allow (HostAhead.cpp); what they
// send waits in their backlog until the run asks for their methods, so that
// the messages fire in the run's order as in a serial run.
#pragma once

#include "HostBacklog.h"
#include "SanitizerReport.h"
#include "TestKind.h"
#include "UnitTestBase.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Kalvoro {

class THostLister;
class THostMessages;
class THostProcess;
struct THostPlan;
struct THostMessage;
struct THostFrameView;
enum class THostFrame : std::uint8_t;

// The runner of the Kalvoro kind in hosts (KalvoroKind.h).
class THostRunner : public IKindRunner {
public:
  // Takes the process's lister (ModuleLister.h) where it is a host lister.
  explicit THostRunner(TWaitHook aWait = PollWait);
  ~THostRunner() override;
  THostRunner(const THostRunner&) = delete;
  THostRunner& operator=(const THostRunner&) = delete;

  // Runs aScenario (its Run) with its methods in hosts; call it where the
  // scenario's Run would be called, after its handlers are attached.
  void Run(TTestScenario& aScenario);
  // The same, in parts, for a run of several kinds: aPlan holds the methods
  // of the scenario that run in hosts, in run order.
  void Begin(TTestScenario& aScenario, const std::vector<TPlannedMethod>& aPlan) override;
  void End(bool aCompleted) override;

  // The first stop ends the run after the running method; the rest stay not
  // run. StopNow ends the running host at once: its phase reads "Stopped by
  // the user".
  // With several jobs the first stop lets every running method finish and
  // the run asks on for what finished ahead, which is written in order.
  void Stop() override;
  void StopNow() override;
  bool StopRequested() const override;
  bool FinishingAhead() const override;

  // Progress outside the event list (RunProgress.h): methods that finished
  // ahead and wait to be written, and the oldest method that runs.
  int MethodsFinishedAhead() const override { return FFinishedAhead; }
  bool OldestRunning(TRunningMethod& aMethod) const override;
  void SetProgressHook(std::function<void()> aHook) override { FProgressHook = std::move(aHook); }

  // The grace that a host's phase gets beyond its time limit before the
  // runner kills the host (the host's own limit should have ended it).
  void SetGrace(double aSeconds) { FGrace = aSeconds; }

  void RunMethod(TUnitTestBase& aUnitTest, int aMethodIndex) override;

  // What the method wrote to its standard output and error in its last run
  // in a host (kept for the programs to show with its results; the text goes
  // to this process's own output as it arrives too): its first and last
  // KeptOutput bytes, with a line between them that tells how much was left
  // out.
  static constexpr std::size_t KeptOutput = 64u << 10;
  std::string MethodOutput(const TUnitTestMethod& aMethod) const override;

  // Checks and reports of a test's threads that the hosts dropped during
  // the last run.
  int DroppedMessages() const override { return FDropped; }

  // The lister whose hosts listed the modules: its waiting hosts run the
  // plans first (they hold their modules loaded), the hosts left waiting go
  // back to it, and its listings say which file each plan must run. Not
  // owned; null: hosts of this runner's own, each plan's file as it is now.
  // The process's lister unless set.
  void SetLister(THostLister* aLister) { FLister = aLister; }

  // How many host processes this runner has started so far.
  int HostsStarted() const { return FHostsStarted; }

  // How many unit tests may run at once, each in a host of its own (1: one
  // host at a time, a module's methods in one plan). aSerial, when given,
  // names the unit tests that never run beside another.
  using TSerialTest = std::function<bool(const TUnitTestBase&)>;
  void SetJobs(int aJobs, TSerialTest aSerial = {}) {
    FJobs = aJobs < 1 ? 1 : aJobs;
    FSerial = std::move(aSerial);
  }
  int Jobs() const { return FJobs; }

private:
  enum class TPhase : std::uint8_t { None, Init, AfterInit, Method, AfterMethod, Exit, Done };
  struct TEntry {
    TUnitTestBase* UnitTest;
    int UnitTestIndex;
    int Method;
  };
  // One module's part of the scenario run and its host; with several jobs,
  // one unit test's.
  struct TModuleRun {
    std::vector<TEntry> Entries;
    std::unique_ptr<THostProcess> Host;
    std::size_t HostBase = 0; // the entry of the host's first plan entry
    std::size_t Next = 0;     // the entry that the run should ask for next
    std::size_t Rank = 0;     // its place among the scenario's modules
    std::size_t First = 0;    // where its first and last entries come in the run
    std::size_t Last = 0;
    const void* Queued = nullptr; // whose plan its host was sent to run next
    bool HostFinishedOne = false;
    int EarlyDeaths = 0;       // hosts in a row that ended before a method
    bool Sanitized = false;    // built with a sanitizer: its reports are looked for
    bool EndsWithHost = false; // its host ends with it, looking for leaks
    std::string GiveUp;        // set: the remaining methods end with it
    // Running ahead of the run (HostAhead.cpp): what its host sent so far,
    // and how its plan stands.
    THostBacklog Backlog;
    bool Started = false;  // a host was given its plan
    bool Ahead = false;    // started ahead and not read by the run yet
    bool Fresh = false;    // its host was started for it
    bool PlanOver = false; // its host finished, retired or ended
    bool StopSent = false;
    std::string Broken; // what went wrong while reading it ahead
    std::string Killed; // why the runner killed it ahead
    // Progress read ahead: the methods its host finished, those of them
    // not written yet, and whether its host began the next one.
    std::size_t DoneAhead = 0;
    int FinishedAhead = 0;
    bool BegunAhead = false;
    bool StopOver = false; // its host's plan ended after a stop
  };
  struct TMethodRun {
    TUnitTestBase* UnitTest;
    TUnitTestMethod* Method;
    std::size_t Position;
    TPhase Phase = TPhase::None;
    bool Done = false;
    bool HostStarted = false; // the current host has sent something for it
    bool EndsModule = false;  // its Exit finishes once the module's host ended
    bool ExitHeld = false;    // its Exit's finish waits for that end
  };
  enum class TPumped : std::uint8_t { Done, Ended, Restart };
  // A method's output as kept: its head, its tail, and how long it was.
  struct TKept {
    std::string Head;
    std::string Tail;
    std::uint64_t Size = 0;
    void Add(std::string_view aText);
  };

  void Plan(TTestScenario& aScenario);
  void StartHost(TModuleRun& aRun, std::size_t aPosition, bool aExitOnly);
  // Gives aRun a host for its plan from aPosition (false: it gives up);
  // aFresh tells whether one was started for it.
  bool TakeHost(TModuleRun& aRun, std::size_t aPosition, bool aExitOnly, bool& aFresh);
  // The run that aUnitTest's methods belong to.
  const void* RunKey(const TUnitTestBase& aUnitTest) const;
  // Whether aModule's hosts look for leaks at their end: its unit tests
  // then run in one host, one after another, whatever the jobs.
  bool EndsWithItsHost(const TModule* aModule) const;
  // Runs ahead (HostAhead.cpp): starts the unit tests after the one being
  // read while the jobs allow, and reads what their hosts sent into their
  // backlogs; aLook: the ring alone, without a system call.
  void RunAhead(bool aLook);
  void StartAhead(TModuleRun& aRun);
  void ReadAhead(TModuleRun& aRun, bool aLook);
  // Passes a stop, or a kill, on to the hosts that run ahead.
  void StopAhead();
  bool SerialRun(const TModuleRun& aRun) const;
  // The run reads aRun now: its backlog first, then its host.
  void TakeOver(TModuleRun& aRun);
  void AddAheadDescriptors(std::vector<int>& aDescriptors) const;
  // Forgets aRun's backlog, and the methods it counted as finished ahead.
  void DropBacklog(TModuleRun& aRun);
  void ProgressChanged();
  // The next frame of aRun: its backlog's, then its host's. The output that
  // was read ahead is shown here and handled (true with aKind none).
  bool NextFrame(TModuleRun& aRun, const TMethodRun& aMethod, THostFrameView& aFrame, bool& aShown);
  // Shows a piece of the test's output (aStream 0 or 1) and keeps it with
  // aMethod.
  void ShowOutput(int aStream, const TMethodRun& aMethod, std::string_view aPiece);
  // The plan of aRun's entries from aPosition; false when they belong to no
  // loaded module.
  bool MakePlan(const TModuleRun& aRun, std::size_t aPosition, bool aExitOnly,
                THostPlan& aPlan) const;
  // Whether aRun's module file is no longer the one its listing found.
  bool ListingChanged(const TModuleRun& aRun) const;
  // Sends aRun's host the plan of the module that runs next, when that one
  // runs wholly after aRun's and has not begun.
  void QueueNext(TModuleRun& aRun);
  // The host that was sent aRun's whole plan ahead, once it has told that it
  // finished the plan before; null when there is none.
  std::unique_ptr<THostProcess> QueuedHost(const TModuleRun& aRun);
  // A host that waits for a plan and may serve aPlan, taken from the idle
  // ones (after those of the runs that are done join them); null when there
  // is none.
  std::unique_ptr<THostProcess> IdleHost(const THostPlan& aPlan);
  // Moves the hosts of the runs that are done to the idle ones.
  void ReclaimHosts();
  // Waits for a host that has run its whole plan to tell that it serves
  // another one; false when it ended or said otherwise.
  bool AwaitIdle(THostProcess& aHost);
  // Reads and replays the host's frames until the method is done (empty) or
  // the host has ended (how it ended). An error while reading (a garbled
  // frame, memory running out) is the host's death; one of a handler or of
  // the wait ends the run, as in process.
  TPumped Pump(TModuleRun& aRun, TMethodRun& aMethod, std::string& aDeath);
  TPumped Read(TModuleRun& aRun, TMethodRun& aMethod, std::string& aDeath);
  // Runs aCall, a handler or the wait: an error that it raises is not the
  // host's and ends the run.
  template <class TCall> void Outside(TCall&& aCall);
  // Whether the error being handled came from Outside (and forgets it).
  bool RaisedOutside();
  // Handles one frame; false when it ends the pumping (aResult says how).
  bool Handle(TModuleRun& aRun, TMethodRun& aMethod, THostFrame aKind, std::string_view aPayload,
              TPumped& aResult, std::string& aDeath);
  void Replay(const THostMessage& aMessage, TMethodRun& aMethod);
  // Adds the count of a Dropped frame.
  void CountDropped(std::string_view aPayload);
  // Fires a host's message through the scenario's event list as a kept
  // message object, rebuilt from it.
  void Deliver(const THostMessage& aMessage);
  // The deadlines of the host being read (HostDeadlines.cpp). AwaitStart
  // sets the one to a new host's hello (aProcess) or to its plan's first
  // phase; the first phase clears it.
  void AwaitStart(bool aProcess);
  double StartLimit() const;
  // The milliseconds to the nearest deadline (< 0: none), or 0 once one has
  // passed, with aDeath the text that the host's kill gives.
  int WaitMilliseconds(std::string& aDeath);
  // Whether the hosts' time to end after an interruption has passed, and
  // the text of a host killed then.
  bool GraceOver() const;
  // Whether the interruption passed on gives the hosts a grace at all.
  bool Graced() const;
  std::string GraceOverText() const;
  static std::int64_t Now();
  // Ends the phase that the host's death interrupted as an exception of it.
  // Returns true when the method's Exit is still to run.
  bool EndPhase(TMethodRun& aMethod, const std::string& aText);
  void FireProgress(TProgressType aType, const TMethodRun& aMethod, const std::string& aPhase);
  void FireException(TMethodRun& aMethod, const std::string& aPhase, const std::string& aText);
  // Ends the host of aMethod's module, its last method, where the host's
  // end looks for leaks: a report read from the end is an exception after
  // the method (HostModuleEnd.cpp); then the method's Exit finishes.
  void EndModuleHost(TModuleRun& aRun, TMethodRun& aMethod);
  // Closes the host's channel and reads it to its end, or kills it at the
  // deadline; what it wrote last goes to aMethod.
  void AwaitModuleEnd(THostProcess& aHost, const TMethodRun& aMethod);
  // Fires the lines of the sanitizer's report that the method's standard
  // error holds, once, ahead of the exception that it ends the method with.
  void FireReport(const TMethodRun& aMethod);
  // Shows the host's output up to the ends given and keeps it with aMethod.
  void TakeOutput(THostProcess& aHost, const TMethodRun& aMethod, std::uint64_t aOutput,
                  std::uint64_t aError);

  TWaitHook FWait;
  THostLister* FLister = nullptr;
  TTestScenario* FScenario = nullptr;
  std::map<const void*, TModuleRun> FModules;
  std::vector<const void*> FOrder; // the runs in the order they begin
  int FJobs = 1;
  mutable std::map<const TModule*, bool> FEndsWithHost;
  TSerialTest FSerial;
  std::size_t FReading = 0;        // the rank of the run being read
  std::size_t FNextAhead = 0;      // the rank of the next run to start ahead
  std::vector<TModuleRun*> FAhead; // the runs started ahead, not read yet
  TModuleRun* FReadingRun = nullptr;
  const TMethodRun* FReadingMethod = nullptr;
  int FFinishedAhead = 0; // methods finished ahead, not written yet
  std::function<void()> FProgressHook;
  std::map<const TUnitTestMethod*, TKept> FOutputs;
  TSanitizerReport FReport; // in the running method's standard error
  bool FLookForReport = false;
  bool FReportFired = false;
  int FDropped = 0;                                 // the hosts' dropped messages of this run
  std::vector<std::unique_ptr<THostProcess>> FIdle; // waiting for a plan
  int FHostsStarted = 0;
  double FGrace = 2.0;
  bool FStop = false;
  bool FStopNow = false;
  int FForwarded = 0;            // the interruption passed on to the hosts
  std::int64_t FForwardedAt = 0; // when it was passed on
  // How long a host that was passed an interruption gets to end before the
  // runner kills it.
  double FInterruptGrace = 3.0;
  std::int64_t FPhaseStart = 0; // the host's start of its running phase, or 0
  std::int64_t FStartBy = 0;    // the deadline to the hello or first phase, or 0
  std::string FStartStall;      // the text of a host that missed it
  bool FStalled = false;        // the host was killed for missing it
  std::string FDeath;           // the text that a kill by the runner gives
  int FWake[2] = {-1, -1};      // a stop wakes the wait through this pipe
  bool FStopSent = false;
  std::unique_ptr<THostMessages> FMessages; // made at the first message
  bool FDelivering = false;
  bool FOutside = false; // the error on its way came from Outside
};

template <class TCall> void THostRunner::Outside(TCall&& aCall) {
  try {
    aCall();
  } catch (...) {
    FOutside = true;
    throw;
  }
}

} // namespace Kalvoro
