// Runs a scenario's methods in run hosts: processes of their own that load
// the method's module, run the method with the in-process guards and report
// every message and result, while this process only reads. A crash, a hang,
// an exit, a forked child or a thread that outlives its test ends at worst
// its host; the runner words that as an exception of the phase that ran.
//
// The scenario runs as always (its start, its unit tests' starts and
// finishes, its summary); only each method's Init, body and Exit run in a
// host. The runner is made of parts:
// - THostPlans (HostPlans.h): the scenario's methods grouped into runs, one
//   plan per module (with several jobs, per unit test), and a host for each;
// - THostPool (HostPool.h): the hosts and their states; a host that
//   finished a plan cleanly serves the next one, so that few hosts start;
// - THostReader (HostReading.h): reads the host of the method that the run
//   asks for, in run order;
// - THostReplay (HostReplay.h): rebuilds the method's phases and result
//   from the host's messages and fires each message through the scenario's
//   own event list, so that every handler sees what it sees in process;
// - THostAhead (HostAhead.h): with several jobs (SetJobs), the unit tests
//   after the one being read run ahead in hosts of their own, their frames
//   kept in backlogs until the run asks for their methods;
// - THostDeadlines (HostDeadlines.h), THostOutput (HostOutput.h) and
//   THostModuleEnd (HostModuleEnd.h): the hosts' deadlines, their output,
//   and the end of a host that looks for leaks.
#pragma once

#include "HostAhead.h"
#include "HostDeadlines.h"
#include "HostModuleEnd.h"
#include "HostOutput.h"
#include "HostPlans.h"
#include "HostPool.h"
#include "HostReading.h"
#include "HostReplay.h"
#include "HostRunState.h"
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
  int MethodsFinishedAhead() const override { return FRun.FinishedAhead; }
  bool OldestRunning(TRunningMethod& aMethod) const override;
  void SetProgressHook(std::function<void()> aHook) override {
    FRun.ProgressHook = std::move(aHook);
  }

  // The grace that a host's phase gets beyond its time limit before the
  // runner kills the host (the host's own limit should have ended it).
  void SetGrace(double aSeconds) { FDeadlines.SetGrace(aSeconds); }

  void RunMethod(TUnitTestBase& aUnitTest, int aMethodIndex) override;

  // What the method wrote to its standard output and error in its last run
  // in a host (kept for the programs to show with its results; the text goes
  // to this process's own output as it arrives too): its first and last
  // KeptOutput bytes, with a line between them that tells how much was left
  // out.
  static constexpr std::size_t KeptOutput = THostOutput::KeptOutput;
  std::string MethodOutput(const TUnitTestMethod& aMethod) const override;

  // Checks and reports of a test's threads that the hosts dropped during
  // the last run.
  int DroppedMessages() const override { return FRun.Dropped; }

  // The lister whose hosts listed the modules: its waiting hosts run the
  // plans first (they hold their modules loaded), the hosts left waiting go
  // back to it, and its listings say which file each plan must run. Not
  // owned; null: hosts of this runner's own, each plan's file as it is now.
  // The process's lister unless set.
  void SetLister(THostLister* aLister) { FPool.SetLister(aLister); }

  // How many host processes this runner has started so far.
  int HostsStarted() const { return FPool.Started(); }

  // How many unit tests may run at once, each in a host of its own (1: one
  // host at a time, a module's methods in one plan). aSerial, when given,
  // names the unit tests that never run beside another.
  using TSerialTest = std::function<bool(const TUnitTestBase&)>;
  void SetJobs(int aJobs, TSerialTest aSerial = {}) {
    FRun.Jobs = aJobs < 1 ? 1 : aJobs;
    FRun.Serial = std::move(aSerial);
  }
  int Jobs() const { return FRun.Jobs; }

private:
  // Gives aRun a host for its plan from aPosition, with its start deadline
  // and the next run's plan sent ahead to it.
  void StartHost(THostRun& aRun, std::size_t aPosition, bool aExitOnly);
  // Where aUnitTest's method aMethodIndex comes in aRun's plan; a method
  // that the run asks for out of its plan is added to it.
  std::size_t Position(THostRun& aRun, TUnitTestBase& aUnitTest, int aMethodIndex);

  THostRunState FRun;
  THostPool FPool;
  THostOutput FOutput;
  THostReplay FReplay;
  THostDeadlines FDeadlines;
  THostPlans FPlans;
  THostAhead FAhead;
  int FWake[2] = {-1, -1}; // a stop wakes the wait through this pipe
  THostReader FReader;
  THostModuleEnd FModuleEnd;
};

} // namespace Kalvoro
