#include "ProgressPresenter.h"

#include "KindRunner.h"
#include "NotificationMessages.h"
#include "RunnerCore.h"
#include "UnitTestBase.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace Kalvoro {

namespace {

// Progress messages change what the window shows; the other kinds, except
// passing checks (the hot path of a run), give a chance to repaint a change
// that had to wait, while a long method runs.
constexpr std::uint32_t WatchedMessages = MessageIdBit(MessageIdProgress) |
                                          MessageIdBit(MessageIdReport) |
                                          MessageIdBit(MessageIdException) | FailedChecksBit;

TMessageEvent HandlerOf(TProgressPresenter* aPresenter) {
  return MakeMessageEvent<&TProgressPresenter::HandleMessage>(aPresenter, WatchedMessages);
}

// The methods that the scenario's run takes: those of its enabled unit tests,
// as far as its run plan (Run Selected, Run Failed) chooses them.
int RunnableMethods(const TTestScenario& aScenario) {
  const TRunPlan* Plan = aScenario.RunPlan();
  if (Plan == nullptr)
    return CountRunnableMethods({const_cast<TTestScenario*>(&aScenario)});
  int Count = 0;
  for (const TUnitTestBase* UnitTest : aScenario.UnitTestList())
    if (UnitTest->Enabled() && Plan->RunsUnitTest(*UnitTest))
      for (int I = 0; I < UnitTest->Methods().Count(); ++I)
        Count += Plan->Runs(*UnitTest, I) ? 1 : 0;
  return Count;
}

} // namespace

std::int64_t SteadyMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

TProgressPresenter::TProgressPresenter(TTestScenario& aScenario, TMilliseconds aNow)
    : FScenario(aScenario), FNow(std::move(aNow)), FMaximum(RunnableMethods(aScenario)) {}

TProgressPresenter::~TProgressPresenter() {
  Unregister();
}

const std::string& TProgressPresenter::ScenarioName() const {
  return FScenario.Name();
}

void TProgressPresenter::Run(TKindRunner* aHosts) {
  FHosts = aHosts;
  FStopPresses = 0;
  FScenario.AddStateNotificationHandler(HandlerOf(this));
  FRegistered = true;
  try {
    if (FHosts != nullptr)
      FHosts->Run(FScenario);
    else
      FScenario.Run();
  } catch (...) {
    FHosts = nullptr;
    Unregister();
    FlushRepaint();
    throw;
  }
  FHosts = nullptr;
  Unregister();
  FlushRepaint();
}

void TProgressPresenter::StopPressed() {
  if (FHosts == nullptr)
    return;
  if (++FStopPresses == 1)
    FHosts->Stop();
  else
    FHosts->StopNow();
}

void TProgressPresenter::StopNow() {
  if (FHosts == nullptr)
    return;
  FStopPresses = std::max(FStopPresses, 2);
  FHosts->StopNow();
}

void TProgressPresenter::HandleMessage(TMessageEventList* /*aSender*/,
                                       const TCustomMessage& aMessage) {
  if (aMessage.GetId() != MessageIdProgress) {
    RepaintIfDue();
    return;
  }
  const auto& Progress = static_cast<const TProgressMessage&>(aMessage);
  switch (Progress.ProgressType()) {
  case ptScenarioFinish:
    Unregister();
    FFinished = true;
    FlushRepaint();
    break;
  case ptUnitTestStart:
    FUnitTestName = Progress.UnitTestName();
    Changed();
    break;
  case ptInitStart:
  case ptMethodStart:
  case ptExitStart:
    FMethodName = Progress.MethodName();
    Changed();
    break;
  case ptExitFinish:
    // Every method that runs ends with its Exit, also when Init failed and
    // the method itself never ran; the console's progress bar counts there too.
    ++FPosition;
    Changed();
    break;
  default:
    RepaintIfDue();
    break;
  }
}

void TProgressPresenter::FlushRepaint() {
  if (FPending)
    RepaintAt(FNow());
}

void TProgressPresenter::Changed() {
  FPending = true;
  RepaintIfDue();
}

void TProgressPresenter::RepaintIfDue() {
  if (!FPending)
    return;
  const std::int64_t Now = FNow();
  if (!FPainted || Now - FLastRepaint >= RepaintInterval)
    RepaintAt(Now);
}

void TProgressPresenter::RepaintAt(std::int64_t aNow) {
  FPending = false;
  FPainted = true;
  FLastRepaint = aNow;
  if (Repaint)
    Repaint();
}

void TProgressPresenter::Unregister() {
  if (!FRegistered)
    return;
  FRegistered = false;
  FScenario.RemoveStateNotificationHandler(HandlerOf(this));
}

} // namespace Kalvoro
