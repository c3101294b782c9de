// The run that a progress window carries out, and its start: one scenario or
// a run over several (Run Selected, Run Failed), in hosts, where it can be
// stopped, or in this process. The window starts it once it is on the
// screen; the run's error is kept here, so that it never passes through the
// toolkit's event code, and raised again once the window has gone.
#pragma once

#include "ProgressPresenter.h"
#include "ResultsPresenter.h"

#include <exception>
#include <functional>

namespace Kalvoro {

class TKindRunner;
class TTestScenario;

class TProgressRun {
public:
  // One scenario, in aHosts' hosts or, without, in this process.
  TProgressRun(TTestScenario& aScenario, TKindRunner* aHosts);
  // A run over several scenarios in one window.
  explicit TProgressRun(const TWholeRun& aRun);
  TProgressRun(const TProgressRun&) = delete;
  TProgressRun& operator=(const TProgressRun&) = delete;

  TProgressPresenter& Presenter() { return FPresenter; }
  const TProgressPresenter& Presenter() const { return FPresenter; }
  // In hosts the window has a Stop button; in process nothing can stop it.
  bool InHosts() const { return FHosts != nullptr; }

  // Runs, the first time only, until the run ends. True when every scenario
  // finished and no error ended the run (the window is accepted).
  bool Start();
  bool Started() const { return FStarted; }
  // The error that ended the run, or null.
  std::exception_ptr Error() const { return FError; }

private:
  TKindRunner* FHosts;
  // Set for a run over several scenarios.
  std::function<void(const TRunStep&)> FRunAll;
  std::function<void(TTestScenario&)> FRunOne;
  TProgressPresenter FPresenter;
  std::exception_ptr FError;
  bool FStarted = false;
  bool FSucceeded = false;
};

} // namespace Kalvoro
