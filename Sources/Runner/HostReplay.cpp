// THostRunner's replay: each message a host sent fired through the
// scenario's own event list, the running phase and the method's result kept
// as the phases would keep them, and the phase that a host's death
// interrupted ended as its exception.
#include "HostRunner.h"

#include "HostMessages.h"
#include "HostProcess.h"
#include "HostProtocol.h"

#include <algorithm>
#include <cstdio>

namespace Kalvoro {

const std::string THostRunner::InitPhaseName = "Init";
const std::string THostRunner::ExitPhaseName = "Exit";

void THostRunner::Replay(const THostMessage& aMessage, TMethodRun& aMethod) {
  TMessageEventList& List = FScenario->StateNotifications();
  TUnitTestMethod& Method = *aMethod.Method;
  switch (aMessage.Id) {
  case MessageIdProgress:
    switch (aMessage.ProgressType) {
    case ptInitStart:
      aMethod.Phase = TPhase::Init;
      break;
    case ptMethodStart:
      aMethod.Phase = TPhase::Method;
      break;
    case ptExitStart:
      aMethod.Phase = TPhase::Exit;
      break;
    case ptInitFinish:
      aMethod.Phase = TPhase::AfterInit;
      break;
    case ptMethodFinish:
      aMethod.Phase = TPhase::AfterMethod;
      break;
    case ptExitFinish:
      aMethod.Phase = TPhase::Done;
      break;
    default:
      break;
    }
    FPhaseStart = aMethod.Phase == TPhase::Init || aMethod.Phase == TPhase::Method ||
                          aMethod.Phase == TPhase::Exit
                      ? aMessage.Time
                      : 0;
    // The plan has begun: the deadline to its first phase is met.
    if (FPhaseStart != 0)
      FStartBy = 0;
    if (List.Consumes(MessageIdProgress))
      Deliver(aMessage);
    return;
  case MessageIdCheck:
    if (!aMessage.Success && Method.TestResult() == tcrSuccess)
      Method.SetTestResult(tcrFailure);
    if (aMessage.Success ? !List.Consumes(MessageIdCheck) : !List.ConsumesFailedChecks())
      return;
    break;
  case MessageIdException:
    if (Method.TestResult() == tcrSuccess)
      Method.SetTestResult(tcrException);
    if (!List.Consumes(MessageIdException))
      return;
    break;
  default:
    if (!List.Consumes(MessageIdReport))
      return;
    break;
  }
  Deliver(aMessage);
}

void THostRunner::Deliver(const THostMessage& aMessage) {
  // A handler that brings another frame here while one is on its way gets a
  // message of its own: the kept one is still being read.
  if (FDelivering) {
    FScenario->FireStateNotification(RebuildMessage(aMessage));
    return;
  }
  if (!FMessages)
    FMessages = std::make_unique<THostMessages>();
  FDelivering = true;
  struct TClear {
    bool& Flag;
    ~TClear() { Flag = false; }
  } Clear{FDelivering};
  FScenario->StateNotifications().Deliver(FMessages->Rebuild(aMessage));
}

const std::string& THostRunner::MethodOutput(const TUnitTestMethod& aMethod) const {
  static const std::string None;
  const auto Found = FOutputs.find(&aMethod);
  return Found != FOutputs.end() ? Found->second : None;
}

void THostRunner::TakeOutput(THostProcess& aHost, const TMethodRun& aMethod, std::uint64_t aOutput,
                             std::uint64_t aError) {
  // Kept per method up to a bound; the rest still goes to the output.
  constexpr std::size_t Kept = 1u << 20;
  for (int Stream = 0; Stream < 2; ++Stream) {
    const std::string Text = aHost.TakeOutput(Stream, Stream == 0 ? aOutput : aError);
    if (Text.empty())
      continue;
    std::FILE* Own = Stream == 0 ? stdout : stderr;
    std::fwrite(Text.data(), 1, Text.size(), Own);
    std::fflush(Own);
    std::string& Share = FOutputs[aMethod.Method];
    Share.append(Text, 0, std::min(Text.size(), Kept - std::min(Kept, Share.size())));
  }
}

void THostRunner::FireProgress(TProgressType aType, const TMethodRun& aMethod,
                               const std::string& aPhase) {
  TMessageEventList& List = FScenario->StateNotifications();
  if (!List.Consumes(MessageIdProgress))
    return;
  TProgressMessage Message(aType, FScenario->Name(), aMethod.UnitTest->Name(), aPhase);
  List.Deliver(Message);
}

void THostRunner::FireException(TMethodRun& aMethod, const std::string& aPhase,
                                const std::string& aText) {
  if (aMethod.Method->TestResult() == tcrSuccess)
    aMethod.Method->SetTestResult(tcrException);
  if (FScenario->StateNotifications().Consumes(MessageIdException))
    FScenario->FireStateNotification(std::make_unique<TExceptionMessage>(
        FScenario->Name(), aMethod.UnitTest->Name(), aPhase, aText));
}

bool THostRunner::EndPhase(TMethodRun& aMethod, const std::string& aText) {
  const std::string& Name = aMethod.Method->Name();
  switch (aMethod.Phase) {
  case TPhase::None:
    FireProgress(ptInitStart, aMethod, InitPhaseName);
    [[fallthrough]];
  case TPhase::Init:
    FireException(aMethod, InitPhaseName, aText);
    FireProgress(ptInitFinish, aMethod, InitPhaseName);
    aMethod.Phase = TPhase::AfterInit;
    return true;
  case TPhase::AfterInit:
    if (aMethod.Method->TestResult() != tcrSuccess) {
      // Init failed, so Exit was next.
      aMethod.Phase = TPhase::AfterMethod;
      return EndPhase(aMethod, aText);
    }
    FireProgress(ptMethodStart, aMethod, Name);
    [[fallthrough]];
  case TPhase::Method:
    FireException(aMethod, Name, aText);
    FireProgress(ptMethodFinish, aMethod, Name);
    aMethod.Phase = TPhase::AfterMethod;
    return true;
  case TPhase::AfterMethod:
    FireProgress(ptExitStart, aMethod, ExitPhaseName);
    [[fallthrough]];
  case TPhase::Exit:
    FireException(aMethod, ExitPhaseName, aText);
    FireProgress(ptExitFinish, aMethod, ExitPhaseName);
    aMethod.Phase = TPhase::Done;
    return false;
  case TPhase::Done:
    return false;
  }
  return false;
}

} // namespace Kalvoro
