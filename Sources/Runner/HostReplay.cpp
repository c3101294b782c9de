// THostRunner's replay: each message a host sent fired through the
// scenario's own event list, the running phase and the method's result kept
// as the phases would keep them, and the phase that a host's death
// interrupted ended as its exception.
#include "HostRunner.h"

#include "PhaseNames.h"

#include "HostMessages.h"
#include "HostProcess.h"
#include "HostProtocol.h"
#include "JUnitReport.h"

#include <algorithm>
#include <cstdio>

namespace Kalvoro {

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
      // Written now: it no longer counts as finished ahead.
      if (FReadingRun != nullptr && FReadingRun->FinishedAhead > 0) {
        --FReadingRun->FinishedAhead;
        --FFinishedAhead;
      }
      // The module's last method finishes after its host's end.
      if (aMethod.EndsModule) {
        aMethod.ExitHeld = true;
        FPhaseStart = 0;
        return;
      }
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
    FireReport(aMethod);
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
    Outside([&] { FScenario->FireStateNotification(RebuildMessage(aMessage)); });
    return;
  }
  if (!FMessages)
    FMessages = std::make_unique<THostMessages>();
  FDelivering = true;
  struct TClear {
    bool& Flag;
    ~TClear() { Flag = false; }
  } Clear{FDelivering};
  Outside([&] { FScenario->StateNotifications().Deliver(FMessages->Rebuild(aMessage)); });
}

void THostRunner::TKept::Add(std::string_view aText) {
  Size += aText.size();
  const std::size_t ToHead = std::min(aText.size(), KeptOutput - std::min(KeptOutput, Head.size()));
  Head.append(aText.substr(0, ToHead));
  aText.remove_prefix(ToHead);
  if (aText.empty())
    return;
  // The tail keeps the last bytes, cut back once it holds twice as many.
  if (aText.size() >= KeptOutput)
    Tail.assign(aText.substr(aText.size() - KeptOutput));
  else
    Tail.append(aText);
  if (Tail.size() >= 2 * KeptOutput)
    Tail.erase(0, Tail.size() - KeptOutput);
}

std::string THostRunner::MethodOutput(const TUnitTestMethod& aMethod) const {
  const auto Found = FOutputs.find(&aMethod);
  if (Found == FOutputs.end())
    return {};
  const TKept& Kept = Found->second;
  const std::size_t Tail = std::min(Kept.Tail.size(), KeptOutput);
  const std::uint64_t Left = Kept.Size - Kept.Head.size() - Tail;
  if (Left == 0)
    return Kept.Head + Kept.Tail;
  return Kept.Head + "\n[... " + std::to_string(Left) + " bytes left out ...]\n" +
         Kept.Tail.substr(Kept.Tail.size() - Tail);
}

void THostRunner::TakeOutput(THostProcess& aHost, const TMethodRun& aMethod, std::uint64_t aOutput,
                             std::uint64_t aError) {
  // Passed on in pieces as it is read, and kept up to a bound: the output
  // never lies whole in this process.
  for (int Stream = 0; Stream < 2; ++Stream) {
    bool Shown = false;
    aHost.TakeOutput(Stream, Stream == 0 ? aOutput : aError, [&](std::string_view aPiece) {
      ShowOutput(Stream, aMethod, aPiece);
      Shown = true;
    });
    if (Shown)
      std::fflush(Stream == 0 ? stdout : stderr);
  }
}

void THostRunner::ShowOutput(int aStream, const TMethodRun& aMethod, std::string_view aPiece) {
  std::fwrite(aPiece.data(), 1, aPiece.size(), aStream == 0 ? stdout : stderr);
  if (aStream == 1 && FLookForReport)
    FReport.Add(aPiece);
  FOutputs[aMethod.Method].Add(aPiece);
}

void THostRunner::FireProgress(TProgressType aType, const TMethodRun& aMethod,
                               const std::string& aPhase) {
  TMessageEventList& List = FScenario->StateNotifications();
  if (!List.Consumes(MessageIdProgress))
    return;
  TProgressMessage Message(aType, FScenario->Name(), aMethod.UnitTest->Name(), aPhase);
  List.Deliver(Message);
}

void THostRunner::FireReport(const TMethodRun& aMethod) {
  if (FReportFired || !FReport.Found())
    return;
  FReportFired = true;
  if (!FScenario->StateNotifications().Consumes(MessageIdReport))
    return;
  for (const std::string& Line : FReport.Lines()) {
    auto Message = std::make_unique<TReportMessage>(Line);
    Message->SetScenarioName(FScenario->Name());
    Message->SetUnitTestName(aMethod.UnitTest->Name());
    Message->SetMethodName(StandardErrorSource);
    Outside([&] { FScenario->FireStateNotification(std::move(Message)); });
  }
}

void THostRunner::FireException(TMethodRun& aMethod, const std::string& aPhase,
                                const std::string& aText) {
  if (aMethod.Method->TestResult() == tcrSuccess)
    aMethod.Method->SetTestResult(tcrException);
  FireReport(aMethod);
  if (FScenario->StateNotifications().Consumes(MessageIdException))
    FScenario->FireStateNotification(std::make_unique<TExceptionMessage>(
        FScenario->Name(), aMethod.UnitTest->Name(), aPhase, aText));
}

bool THostRunner::EndPhase(TMethodRun& aMethod, const std::string& aText) {
  const std::string& Name = aMethod.Method->Name();
  switch (aMethod.Phase) {
  case TPhase::None:
    FireProgress(ptInitStart, aMethod, PhaseNames::Init);
    [[fallthrough]];
  case TPhase::Init:
    FireException(aMethod, PhaseNames::Init, aText);
    FireProgress(ptInitFinish, aMethod, PhaseNames::Init);
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
    FireProgress(ptExitStart, aMethod, PhaseNames::Exit);
    [[fallthrough]];
  case TPhase::Exit:
    FireException(aMethod, PhaseNames::Exit, aText);
    FireProgress(ptExitFinish, aMethod, PhaseNames::Exit);
    aMethod.Phase = TPhase::Done;
    return false;
  case TPhase::Done:
    return false;
  }
  return false;
}

} // namespace Kalvoro
