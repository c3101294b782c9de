#include "KindEvents.h"

#include "MethodResult.h"
#include "NotificationMessages.h"
#include "PhaseNames.h"

namespace Kalvoro {

TMethodEvents::TMethodEvents(TUnitTestBase& aUnitTest, int aMethodIndex)
    : FUnitTest(aUnitTest), FMethod(*aUnitTest.Methods().GetItem(aMethodIndex)),
      FScenario(*aUnitTest.TestScenario()) {}

void TMethodEvents::Progress(TProgressType aType, const std::string& aPhase) {
  TMessageEventList& List = FScenario.StateNotifications();
  if (!List.Consumes(MessageIdProgress))
    return;
  TProgressMessage Message(aType, FScenario.Name(), FUnitTest.Name(), aPhase);
  List.Deliver(Message);
}

void TMethodEvents::Start(const std::function<void()>& aInit) {
  FMethod.SetTestResult(tcrSuccess);
  FPhase = PhaseNames::Init;
  Progress(ptInitStart, PhaseNames::Init);
  if (aInit)
    aInit();
  Progress(ptInitFinish, PhaseNames::Init);
  FPhase = FMethod.Name();
  Progress(ptMethodStart, FPhase);
}

void TMethodEvents::Report(const std::string& aText) {
  if (FScenario.StateNotifications().Consumes(MessageIdReport))
    FScenario.FireStateNotification(std::make_unique<TReportMessage>(aText));
}

void TMethodEvents::Check(bool aPassed, const std::string& aText, const std::string& aFile,
                          unsigned aLine) {
  std::unique_ptr<TCheckMessage> Message;
  if (aPassed) {
    if (!FScenario.StateNotifications().Consumes(MessageIdCheck))
      return;
    Message = std::make_unique<TCheckMessage>(aText);
  } else {
    SettleResult(FMethod, tcrFailure);
    if (!FScenario.StateNotifications().ConsumesFailedChecks())
      return;
    Message =
        std::make_unique<TCheckMessage>(aText, FScenario.Name(), FUnitTest.Name(), FMethod.Name());
  }
  if (!aFile.empty())
    Message->SetLocation(aFile, aLine);
  FScenario.FireStateNotification(std::move(Message));
}

void TMethodEvents::Exception(const std::string& aText) {
  SettleResult(FMethod, tcrException);
  if (FScenario.StateNotifications().Consumes(MessageIdException))
    FScenario.FireStateNotification(
        std::make_unique<TExceptionMessage>(FScenario.Name(), FUnitTest.Name(), FPhase, aText));
}

void TMethodEvents::Skip(const std::string& aText) {
  if (!aText.empty())
    Report(aText);
  FSkipped = true;
}

void TMethodEvents::Finish() {
  Progress(ptMethodFinish, FMethod.Name());
  FPhase = PhaseNames::Exit;
  Progress(ptExitStart, PhaseNames::Exit);
  Progress(ptExitFinish, PhaseNames::Exit);
  if (FSkipped)
    SettleResult(FMethod, tcrTodo);
}

} // namespace Kalvoro
