#include "ProgressPresenter.h"

#include "Exception.h"
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
  return RunListenerEvent(aPresenter, WatchedMessages);
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
    : TProgressPresenter(std::vector<TTestScenario*>{&aScenario}, std::move(aNow)) {}

TProgressPresenter::TProgressPresenter(std::vector<TTestScenario*> aScenarios, TMilliseconds aNow)
    : FScenarios(std::move(aScenarios)),
      FCurrent(FScenarios.empty() ? nullptr : FScenarios.front()), FNow(std::move(aNow)) {
  KALVORO_ASSERT(FCurrent != nullptr);
  for (const TTestScenario* Scenario : FScenarios)
    FMaximum += RunnableMethods(*Scenario);
}

TProgressPresenter::~TProgressPresenter() {
  Unregister();
}

const std::string& TProgressPresenter::ScenarioName() const {
  return FCurrent->Name();
}

void TProgressPresenter::Run(TKindRunner* aHosts) {
  RunAll(
      aHosts, [this](const TRunStep& aStep) { aStep(*FCurrent); },
      [aHosts](TTestScenario& aScenario) {
        if (aHosts != nullptr)
          aHosts->Run(aScenario);
        else
          aScenario.Run();
      });
}

void TProgressPresenter::RunAll(TKindRunner* aHosts,
                                const std::function<void(const TRunStep&)>& aRunAll,
                                const std::function<void(TTestScenario&)>& aRunOne) {
  FHosts = aHosts;
  FStopPresses = 0;
  Watch(FSource != nullptr ? FSource : aHosts);
  // Listens to each scenario for its own run only, after its sink.
  const TRunStep Step = [this, &aRunOne](TTestScenario& aScenario) {
    if (&aScenario != FCurrent) {
      FCurrent = &aScenario;
      FUnitTestName.clear();
      FMethodName.clear();
      Changed();
    }
    FFinished = false;
    FCurrent->AddStateNotificationHandler(HandlerOf(this));
    FRegistered = true;
    try {
      aRunOne(aScenario);
    } catch (...) {
      Unregister();
      throw;
    }
    Unregister();
  };
  try {
    aRunAll(Step);
  } catch (...) {
    FHosts = nullptr;
    Watch(nullptr);
    Unregister();
    FlushRepaint();
    throw;
  }
  FHosts = nullptr;
  Watch(nullptr);
  Unregister();
  FlushRepaint();
}

void TProgressPresenter::Watch(IRunProgress* aSource) {
  if (FWatched != nullptr)
    FWatched->SetProgressHook({});
  FWatched = aSource;
  if (FWatched != nullptr)
    FWatched->SetProgressHook([this] {
      if (TakeFromSource())
        Changed();
    });
}

bool TProgressPresenter::TakeFromSource() {
  if (FWatched == nullptr)
    return false;
  bool Change = false;
  if (const int Ahead = FWatched->MethodsFinishedAhead(); Ahead != FFinishedAhead) {
    FFinishedAhead = Ahead;
    Change = true;
  }
  TRunningMethod Oldest;
  if (FWatched->OldestRunning(Oldest) &&
      (Oldest.UnitTest != FUnitTestName || Oldest.Method != FMethodName)) {
    FUnitTestName = std::move(Oldest.UnitTest);
    FMethodName = std::move(Oldest.Method);
    Change = true;
  }
  return Change;
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
  DispatchRunMessage(aMessage, *this);
}

void TProgressPresenter::ScenarioStart(const TProgressMessage& /*aMessage*/) {
  RepaintIfDue();
}

void TProgressPresenter::ScenarioFinish(const TProgressMessage& /*aMessage*/) {
  Unregister();
  FFinished = true;
  FlushRepaint();
}

void TProgressPresenter::UnitTestStart(const TProgressMessage& aMessage) {
  FUnitTestName = aMessage.UnitTestName();
  ProgressChanged();
}

void TProgressPresenter::UnitTestFinish(const TProgressMessage& /*aMessage*/) {
  RepaintIfDue();
}

void TProgressPresenter::PhaseStart(TRunPhase /*aPhase*/, const TProgressMessage& aMessage) {
  FMethodName = aMessage.MethodName();
  ProgressChanged();
}

void TProgressPresenter::PhaseFinish(TRunPhase aPhase, const TProgressMessage& /*aMessage*/) {
  if (aPhase != TRunPhase::Exit) {
    RepaintIfDue();
    return;
  }
  // Every method that runs ends with its Exit, also when Init failed and
  // the method itself never ran; the console's progress bar counts there
  // too. One that finished ahead left the runner's count as it came here.
  ++FPosition;
  ProgressChanged();
}

void TProgressPresenter::Report(const TReportMessage& /*aMessage*/) {
  RepaintIfDue();
}

void TProgressPresenter::Check(const TCheckMessage& /*aMessage*/) {
  RepaintIfDue();
}

void TProgressPresenter::Exception(const TExceptionMessage& /*aMessage*/) {
  RepaintIfDue();
}

void TProgressPresenter::OtherMessage(const TCustomMessage& /*aMessage*/) {
  RepaintIfDue();
}

void TProgressPresenter::ProgressChanged() {
  Changed();
  // With several at once the oldest running method is named, not the
  // phase that is being written.
  if (TakeFromSource())
    Changed();
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
  FCurrent->RemoveStateNotificationHandler(HandlerOf(this));
}

} // namespace Kalvoro
