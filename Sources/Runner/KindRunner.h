// The programs' method runner: runs each scenario's methods through the kind
// of their module (TestKind.h). Kalvoro modules run in hosts, or in this
// process where the run says so; every other kind runs with its own runner.
// The scenario's run order is fixed first (a shuffle drawn once) and each
// kind's runner is told its methods in that order before the run begins.
#pragma once

#include "TestKind.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Kalvoro {

class TKindLister;

class TKindRunner final : public TMethodRunner, public IRunProgress {
public:
  // aLister: the lister whose kinds listed the modules (null: the process's,
  // if it is a kind lister; modules loaded here are Kalvoro modules).
  // aInProcess: Kalvoro modules run in this process.
  explicit TKindRunner(bool aInProcess = false, TWaitHook aWait = PollWait,
                       TKindLister* aLister = nullptr);
  ~TKindRunner() override;
  TKindRunner(const TKindRunner&) = delete;
  TKindRunner& operator=(const TKindRunner&) = delete;

  // Runs aScenario: aRun (its Run unless given) with this runner set on it.
  void Run(TTestScenario& aScenario, const std::function<void()>& aRun = {});

  // The first stop ends the run after the running method; the rest stay not
  // run. StopNow ends the running method at once where its kind can.
  void Stop();
  void StopNow();
  // Also after an interruption; with several jobs only once what ran ahead
  // is written.
  bool StopRequested() const override;
  bool InProcess() const { return FInProcess; }
  // How many unit tests of Kalvoro modules run at once in hosts (in process:
  // one at a time), and the filter pattern ("POSITIVE[-NEGATIVE]") of those
  // that never run beside another: a unit test one of whose methods it
  // passes. Set before the first run.
  void SetJobs(int aJobs, const std::string& aSerial = {});

  void RunMethod(TUnitTestBase& aUnitTest, int aMethodIndex) override;
  int DroppedMessages() const override;
  // What the method wrote to its output in its last run, where its kind
  // keeps it.
  std::string MethodOutput(const TUnitTestMethod& aMethod) const;

  // The Kalvoro modules' progress outside the event list (RunProgress.h).
  int MethodsFinishedAhead() const override;
  bool OldestRunning(TRunningMethod& aMethod) const override;
  void SetProgressHook(std::function<void()> aHook) override;

private:
  IKindRunner& RunnerFor(const TModule* aModule);

  bool FInProcess;
  TWaitHook FWait;
  TKindLister* FLister;
  bool FStop = false;
  int FJobs = 1;
  std::string FSerial;
  std::function<void()> FProgressHook;
  std::unique_ptr<IKindRunner> FKalvoro;
  std::map<const ITestKind*, std::unique_ptr<IKindRunner>> FOthers;
  std::map<const TModule*, IKindRunner*> FByModule; // of the scenario that runs
};

} // namespace Kalvoro
