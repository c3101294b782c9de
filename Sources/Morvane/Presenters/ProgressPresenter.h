// What the progress window shows while it runs one scenario, or a run over
// several (Run Selected, Run Failed), without any widget: the names of the
// running scenario, unit test and phase, the bar's position and maximum, and
// when the window must be repainted. Where several methods run at once, the
// bar counts each method when its host reports it done, in any order, and the
// names are those of the oldest method that runs (the runner's progress,
// RunProgress.h).
#pragma once

#include "MessageEventList.h"
#include "RunListener.h"
#include "RunProgress.h"
#include "RunnerCore.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Kalvoro {

class TKindRunner;
class TTestScenario;

// Milliseconds of a steady clock.
using TMilliseconds = std::function<std::int64_t()>;
std::int64_t SteadyMilliseconds();

class TProgressPresenter : public IRunListener {
public:
  // A repaint costs about a millisecond, and a long run sends hundreds of
  // thousands of messages: repaints come at most this often (a screen frame).
  static constexpr std::int64_t RepaintInterval = 16;

  explicit TProgressPresenter(TTestScenario& aScenario, TMilliseconds aNow = SteadyMilliseconds);
  // A run over the scenarios, in one window: the maximum counts them all.
  explicit TProgressPresenter(std::vector<TTestScenario*> aScenarios,
                              TMilliseconds aNow = SteadyMilliseconds);
  ~TProgressPresenter();
  TProgressPresenter(const TProgressPresenter&) = delete;
  TProgressPresenter& operator=(const TProgressPresenter&) = delete;

  // Called to repaint the window at once, with the state below to show.
  std::function<void()> Repaint;

  const std::string& ScenarioName() const;
  const std::string& UnitTestName() const { return FUnitTestName; }
  // "Init", the method's name or "Exit"; with several at once, the oldest
  // running method's name.
  const std::string& MethodName() const { return FMethodName; }
  // The methods written, and those finished ahead of the run.
  int Position() const { return FPosition + FFinishedAhead; }
  // The methods of the scenarios' enabled unit tests, as far as their run
  // plans choose them.
  int Maximum() const { return FMaximum; }
  // The (last) scenario's finish message has arrived.
  bool Finished() const { return FFinished; }
  bool Registered() const { return FRegistered; }

  // Listens to the scenario and runs it (in aHosts' hosts, or in this process
  // without). Whatever way Run ends, the handler is removed and the last
  // state is repainted; an error goes on to the caller.
  void Run(TKindRunner* aHosts = nullptr);
  // The run over several scenarios: aRunAll runs them, each through the step
  // it is handed, which listens to that scenario while aRunOne runs it. A
  // stop goes to aHosts (null: in this process, nothing can stop it).
  void RunAll(TKindRunner* aHosts, const std::function<void(const TRunStep&)>& aRunAll,
              const std::function<void(TTestScenario&)>& aRunOne);
  // A run in hosts can be stopped; one in process runs on this thread and
  // nothing can stop it.
  bool CanStop() const { return FHosts != nullptr; }
  // The Stop button: the first press ends the run after the running method,
  // the next one (or StopNow) ends the running host at once.
  void StopPressed();
  void StopNow();
  // Where the run's progress outside its event list comes from during Run
  // and RunAll (null: the runner that they are given).
  void SetRunProgress(IRunProgress* aSource) { FSource = aSource; }
  int StopPresses() const { return FStopPresses; }
  // How long after the first press the window ends the host by itself.
  static constexpr int StopNowDelay = 3000;
  // What the handler registered with the scenario during Run is handed: the
  // message goes to this presenter's run listener calls below.
  void HandleMessage(TMessageEventList* aSender, const TCustomMessage& aMessage);
  // Repaints now when a change has not been shown yet.
  void FlushRepaint();

private:
  // Progress messages change what the window shows; the other kinds give a
  // chance to repaint a change that had to wait, while a long method runs.
  void ScenarioStart(const TProgressMessage& aMessage) override;
  void ScenarioFinish(const TProgressMessage& aMessage) override;
  void UnitTestStart(const TProgressMessage& aMessage) override;
  void UnitTestFinish(const TProgressMessage& aMessage) override;
  void PhaseStart(TRunPhase aPhase, const TProgressMessage& aMessage) override;
  void PhaseFinish(TRunPhase aPhase, const TProgressMessage& aMessage) override;
  void Report(const TReportMessage& aMessage) override;
  void Check(const TCheckMessage& aMessage) override;
  void Exception(const TExceptionMessage& aMessage) override;
  void OtherMessage(const TCustomMessage& aMessage) override;
  // A change that the progress messages made: repainted when due, with the
  // oldest running method named where several run at once.
  void ProgressChanged();

  void Changed();
  void RepaintIfDue();
  void RepaintAt(std::int64_t aNow);
  void Unregister();
  // Takes the count and the oldest running method from the source; true
  // when either changed.
  bool TakeFromSource();
  void Watch(IRunProgress* aSource);

  std::vector<TTestScenario*> FScenarios;
  // The scenario that runs (at first the first one).
  TTestScenario* FCurrent;
  TMilliseconds FNow;
  TKindRunner* FHosts = nullptr;
  int FStopPresses = 0;
  std::string FUnitTestName;
  std::string FMethodName;
  int FPosition = 0;
  int FFinishedAhead = 0;
  IRunProgress* FSource = nullptr;
  IRunProgress* FWatched = nullptr;
  int FMaximum = 0;
  bool FFinished = false;
  bool FRegistered = false;
  // A change waits for its repaint; when the last repaint was.
  bool FPending = false;
  bool FPainted = false;
  std::int64_t FLastRepaint = 0;
};

} // namespace Kalvoro
