// The phase replay: a method's phases and result rebuilt from its host's
// messages, and the phases that a host's death cut short ended as the
// framework ends a phase that raised.
#include "HostReplay.h"

#include "MethodResult.h"
#include "PhaseNames.h"

#include "HostMessages.h"
#include "HostOutput.h"
#include "HostProtocol.h"
#include "JUnitReport.h"

namespace Kalvoro {

THostReplay::THostReplay(THostRunState& aRun, THostOutput& aOutput)
    : FRun(aRun), FOutput(aOutput) {}

THostReplay::~THostReplay() = default;

bool THostReplay::Follow(const THostMessage& aMessage, THostMethod& aMethod) {
  TMessageEventList& List = FRun.Scenario->StateNotifications();
  TUnitTestMethod& Method = *aMethod.Method;
  switch (aMessage.Id) {
  case MessageIdProgress:
    switch (aMessage.ProgressType) {
    case ptInitStart:
      aMethod.Phase = THostPhase::Init;
      break;
    case ptMethodStart:
      aMethod.Phase = THostPhase::Method;
      break;
    case ptExitStart:
      aMethod.Phase = THostPhase::Exit;
      break;
    case ptInitFinish:
      aMethod.Phase = THostPhase::AfterInit;
      break;
    case ptMethodFinish:
      aMethod.Phase = THostPhase::AfterMethod;
      break;
    case ptExitFinish:
      aMethod.Phase = THostPhase::Done;
      // The module's last method finishes after its host's end.
      if (aMethod.EndsModule) {
        aMethod.ExitHeld = true;
        return false;
      }
      break;
    default:
      break;
    }
    return List.Consumes(MessageIdProgress);
  case MessageIdCheck:
    if (!aMessage.Success)
      SettleResult(Method, tcrFailure);
    return aMessage.Success ? List.Consumes(MessageIdCheck) : List.ConsumesFailedChecks();
  case MessageIdException:
    SettleResult(Method, tcrException);
    FireReport(aMethod);
    return List.Consumes(MessageIdException);
  default:
    return List.Consumes(MessageIdReport);
  }
}

void THostReplay::Fire(const THostMessage& aMessage) {
  TTestScenario& Scenario = *FRun.Scenario;
  // A handler that brings another frame here while one is on its way gets a
  // message of its own: the kept one is still being read.
  if (FDelivering) {
    FRun.Outside([&] { Scenario.FireStateNotification(RebuildMessage(aMessage)); });
    return;
  }
  if (!FMessages)
    FMessages = std::make_unique<THostMessages>();
  FDelivering = true;
  struct TClear {
    bool& Flag;
    ~TClear() { Flag = false; }
  } Clear{FDelivering};
  FRun.Outside([&] { Scenario.StateNotifications().Deliver(FMessages->Rebuild(aMessage)); });
}

void THostReplay::FireProgress(TProgressType aType, const THostMethod& aMethod,
                               const std::string& aPhase) {
  TTestScenario& Scenario = *FRun.Scenario;
  TMessageEventList& List = Scenario.StateNotifications();
  if (!List.Consumes(MessageIdProgress))
    return;
  TProgressMessage Message(aType, Scenario.Name(), aMethod.UnitTest->Name(), aPhase);
  List.Deliver(Message);
}

void THostReplay::FireReport(const THostMethod& aMethod) {
  TTestScenario& Scenario = *FRun.Scenario;
  if (!FOutput.FireReport() || !Scenario.StateNotifications().Consumes(MessageIdReport))
    return;
  for (const std::string& Line : FOutput.Report().Lines()) {
    auto Message = std::make_unique<TReportMessage>(Line);
    Message->SetScenarioName(Scenario.Name());
    Message->SetUnitTestName(aMethod.UnitTest->Name());
    Message->SetMethodName(StandardErrorSource);
    FRun.Outside([&] { Scenario.FireStateNotification(std::move(Message)); });
  }
}

void THostReplay::FireException(THostMethod& aMethod, const std::string& aPhase,
                                const std::string& aText) {
  TTestScenario& Scenario = *FRun.Scenario;
  SettleResult(*aMethod.Method, tcrException);
  FireReport(aMethod);
  if (Scenario.StateNotifications().Consumes(MessageIdException))
    Scenario.FireStateNotification(std::make_unique<TExceptionMessage>(
        Scenario.Name(), aMethod.UnitTest->Name(), aPhase, aText));
}

bool THostReplay::EndPhase(THostMethod& aMethod, const std::string& aText) {
  const std::string& Name = aMethod.Method->Name();
  switch (aMethod.Phase) {
  case THostPhase::None:
    FireProgress(ptInitStart, aMethod, PhaseNames::Init);
    [[fallthrough]];
  case THostPhase::Init:
    FireException(aMethod, PhaseNames::Init, aText);
    FireProgress(ptInitFinish, aMethod, PhaseNames::Init);
    aMethod.Phase = THostPhase::AfterInit;
    return true;
  case THostPhase::AfterInit:
    if (aMethod.Method->TestResult() != tcrSuccess) {
      // Init failed, so Exit was next.
      aMethod.Phase = THostPhase::AfterMethod;
      return EndPhase(aMethod, aText);
    }
    FireProgress(ptMethodStart, aMethod, Name);
    [[fallthrough]];
  case THostPhase::Method:
    FireException(aMethod, Name, aText);
    FireProgress(ptMethodFinish, aMethod, Name);
    aMethod.Phase = THostPhase::AfterMethod;
    return true;
  case THostPhase::AfterMethod:
    FireProgress(ptExitStart, aMethod, PhaseNames::Exit);
    [[fallthrough]];
  case THostPhase::Exit:
    FireException(aMethod, PhaseNames::Exit, aText);
    FireProgress(ptExitFinish, aMethod, PhaseNames::Exit);
    aMethod.Phase = THostPhase::Done;
    return false;
  case THostPhase::Done:
    return false;
  }
  return false;
}

void THostReplay::EndExit(THostMethod& aMethod, const std::string& aText) {
  FireProgress(ptExitStart, aMethod, PhaseNames::Exit);
  FireException(aMethod, PhaseNames::Exit, aText);
  FireProgress(ptExitFinish, aMethod, PhaseNames::Exit);
}

void THostReplay::EndHeldExit(THostMethod& aMethod, const std::string& aLeak) {
  if (!aLeak.empty())
    FireException(aMethod, PhaseNames::Unload, aLeak);
  FireProgress(ptExitFinish, aMethod, PhaseNames::Exit);
}

} // namespace Kalvoro
