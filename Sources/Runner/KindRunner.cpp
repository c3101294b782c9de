#include "KindRunner.h"

#include "HostRunner.h"
#include "InProcessRunner.h"
#include "KindLister.h"
#include "RecordedPlan.h"
#include "RunSelection.h"

#include "Interruption.h"

#include <algorithm>

namespace Kalvoro {

TKindRunner::TKindRunner(bool aInProcess, TWaitHook aWait, TKindLister* aLister)
    : FInProcess(aInProcess), FWait(aWait ? std::move(aWait) : TWaitHook(PollWait)),
      FLister(aLister != nullptr ? aLister : dynamic_cast<TKindLister*>(ModuleLister())) {}

TKindRunner::~TKindRunner() = default;

IKindRunner& TKindRunner::RunnerFor(const TModule* aModule) {
  ITestKind* const Kind =
      FLister != nullptr && aModule != nullptr ? FLister->KindOf(*aModule) : nullptr;
  // The unit tests that run with none beside them, for a runner made now.
  const auto Serial = [this]() -> TSerialTest {
    if (FSerial.empty())
      return {};
    return [Filter = TNameFilter(FSerial)](const TUnitTestBase& aUnitTest) {
      for (int I = 0; I < aUnitTest.Methods().Count(); ++I)
        if (Filter.Passes(aUnitTest.Name() + "." + aUnitTest.Methods().GetItem(I)->Name()))
          return true;
      return false;
    };
  };
  if (Kind != nullptr && (FLister == nullptr || Kind != &FLister->Kalvoro())) {
    std::unique_ptr<IKindRunner>& Runner = FOthers[Kind];
    if (!Runner) {
      Runner = Kind->MakeRunner(FWait);
      Runner->SetJobs(FInProcess ? 1 : FJobs, Serial());
    }
    return *Runner;
  }
  if (!FKalvoro) {
    THostLister* const Hosts = FLister != nullptr ? &FLister->Kalvoro().Hosts() : nullptr;
    if (FInProcess)
      FKalvoro = std::make_unique<TInProcessRunner>(Hosts);
    else if (FLister != nullptr)
      FKalvoro = FLister->Kalvoro().MakeRunner(FWait);
    else
      FKalvoro = std::make_unique<THostRunner>(FWait);
    if (auto* const Hosts = dynamic_cast<THostRunner*>(FKalvoro.get()); Hosts != nullptr)
      Hosts->SetJobs(FJobs, Serial());
    FKalvoro->SetProgressHook(FProgressHook);
  }
  return *FKalvoro;
}

void TKindRunner::SetJobs(int aJobs, const std::string& aSerial) {
  FJobs = aJobs;
  FSerial = aSerial;
}

void TKindRunner::Run(TTestScenario& aScenario, const std::function<void()>& aRun) {
  TRunPlan* const Original = aScenario.RunPlan();
  TMethodRunner* const Before = aScenario.MethodRunner();
  TRecordedPlan Recorded(Original);
  // Each kind's methods in run order, the kinds in the order they first run.
  std::vector<std::pair<IKindRunner*, std::vector<TPlannedMethod>>> Plans;
  FByModule.clear();
  const auto* Naming = dynamic_cast<const INamedMethods*>(Original);
  for (const auto& [UnitTest, Method] : Recorded.Record(aScenario)) {
    IKindRunner& Runner = RunnerFor(UnitTest->Module());
    FByModule[UnitTest->Module()] = &Runner;
    auto Found = std::find_if(Plans.begin(), Plans.end(),
                              [&](const auto& aPlan) { return aPlan.first == &Runner; });
    if (Found == Plans.end())
      Found = Plans.insert(Plans.end(), {&Runner, {}});
    Found->second.push_back(
        {UnitTest, Method, Naming != nullptr && Naming->Named(*UnitTest, Method)});
  }
  auto End = [&](bool aCompleted) {
    aScenario.SetRunPlan(Original);
    aScenario.SetMethodRunner(Before);
    for (auto& [Runner, Plan] : Plans)
      Runner->End(aCompleted);
    FByModule.clear();
  };
  const auto* Selection = dynamic_cast<const TRunSelection*>(Original);
  const std::optional<std::uint64_t> Shuffle =
      Selection != nullptr ? Selection->ShuffleNumber() : std::nullopt;
  try {
    for (auto& [Runner, Plan] : Plans) {
      Runner->SetShuffle(Shuffle);
      Runner->Begin(aScenario, Plan);
      if (FStop)
        Runner->Stop();
    }
    aScenario.SetRunPlan(&Recorded);
    aScenario.SetMethodRunner(this);
    if (aRun)
      aRun();
    else
      aScenario.Run();
  } catch (...) {
    End(false);
    throw;
  }
  End(true);
}

bool TKindRunner::StopRequested() const {
  if (!FStop && InterruptSignal() == 0)
    return false;
  return !FKalvoro || !FKalvoro->FinishingAhead();
}

void TKindRunner::RunMethod(TUnitTestBase& aUnitTest, int aMethodIndex) {
  const auto Found = FByModule.find(aUnitTest.Module());
  // After a stop the run asks on only for what Kalvoro modules ran ahead:
  // the rest stay not run.
  if (Found != FByModule.end() && Found->second != FKalvoro.get() &&
      (FStop || InterruptSignal() != 0))
    return;
  if (Found == FByModule.end()) {
    // Not in the plan (the plan is what runs): it runs as it is.
    aUnitTest.RunMethod(aUnitTest.Methods().GetItem(aMethodIndex));
    return;
  }
  Found->second->RunMethod(aUnitTest, aMethodIndex);
}

void TKindRunner::Stop() {
  FStop = true;
  if (FKalvoro)
    FKalvoro->Stop();
  for (auto& [Kind, Runner] : FOthers)
    Runner->Stop();
}

void TKindRunner::StopNow() {
  FStop = true;
  if (FKalvoro)
    FKalvoro->StopNow();
  for (auto& [Kind, Runner] : FOthers)
    Runner->StopNow();
}

int TKindRunner::DroppedMessages() const {
  int Dropped = FKalvoro ? FKalvoro->DroppedMessages() : 0;
  for (const auto& [Kind, Runner] : FOthers)
    Dropped += Runner->DroppedMessages();
  return Dropped;
}

std::string TKindRunner::MethodOutput(const TUnitTestMethod& aMethod) const {
  std::string Output = FKalvoro ? FKalvoro->MethodOutput(aMethod) : std::string();
  for (auto Runner = FOthers.begin(); Output.empty() && Runner != FOthers.end(); ++Runner)
    Output = Runner->second->MethodOutput(aMethod);
  return Output;
}

int TKindRunner::MethodsFinishedAhead() const {
  return FKalvoro ? FKalvoro->MethodsFinishedAhead() : 0;
}

bool TKindRunner::OldestRunning(TRunningMethod& aMethod) const {
  return FKalvoro && FKalvoro->OldestRunning(aMethod);
}

void TKindRunner::SetProgressHook(std::function<void()> aHook) {
  FProgressHook = std::move(aHook);
  if (FKalvoro)
    FKalvoro->SetProgressHook(FProgressHook);
}

} // namespace Kalvoro
