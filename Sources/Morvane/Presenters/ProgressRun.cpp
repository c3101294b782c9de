#include "ProgressRun.h"

namespace Kalvoro {

TProgressRun::TProgressRun(TTestScenario& aScenario, TKindRunner* aHosts)
    : FHosts(aHosts), FPresenter(aScenario) {}

TProgressRun::TProgressRun(const TWholeRun& aRun)
    : FHosts(aRun.Hosts), FRunAll(aRun.RunAll), FRunOne(aRun.RunOne), FPresenter(aRun.Scenarios) {}

bool TProgressRun::Start() {
  if (FStarted)
    return FSucceeded;
  FStarted = true;
  try {
    if (FRunAll)
      FPresenter.RunAll(FHosts, FRunAll, FRunOne);
    else
      FPresenter.Run(FHosts);
  } catch (...) {
    FError = std::current_exception();
  }
  FSucceeded = FPresenter.Finished() && !FError;
  return FSucceeded;
}

} // namespace Kalvoro
