#include "HostMessages.h"

namespace Kalvoro {

namespace {

void Update(TMessageBase& aTarget, const THostMessage& aMessage) {
  if (aTarget.Message() != aMessage.Text)
    aTarget.SetMessage(std::string(aMessage.Text));
  if (aTarget.ScenarioName() != aMessage.ScenarioName)
    aTarget.SetScenarioName(std::string(aMessage.ScenarioName));
  if (aTarget.UnitTestName() != aMessage.UnitTestName)
    aTarget.SetUnitTestName(std::string(aMessage.UnitTestName));
  if (aTarget.MethodName() != aMessage.MethodName)
    aTarget.SetMethodName(std::string(aMessage.MethodName));
}

} // namespace

THostMessages::THostMessages()
    : FReport(std::string()), FCheck(std::string()), FException({}, {}, {}, {}) {
  for (int Type = ptScenarioStart; Type <= ptExitFinish; ++Type)
    FProgress.emplace_back(static_cast<TProgressType>(Type), std::string(), std::string(),
                           std::string());
}

const TMessageBase& THostMessages::Rebuild(const THostMessage& aMessage) {
  switch (aMessage.Id) {
  case MessageIdReport:
    Update(FReport, aMessage);
    return FReport;
  case MessageIdCheck:
    Update(FCheck, aMessage);
    FCheck.SetSuccess(aMessage.Success);
    if (FCheck.FileName() != aMessage.FileName || FCheck.Line() != aMessage.Line)
      FCheck.SetLocation(std::string(aMessage.FileName), aMessage.Line);
    return FCheck;
  case MessageIdException:
    Update(FException, aMessage);
    return FException;
  default: {
    // A progress message carries no text.
    TProgressMessage& Progress = FProgress.at(aMessage.ProgressType);
    Update(Progress, {aMessage.Id,
                      true,
                      aMessage.ProgressType,
                      0,
                      {},
                      aMessage.ScenarioName,
                      aMessage.UnitTestName,
                      aMessage.MethodName,
                      {},
                      0});
    return Progress;
  }
  }
}

} // namespace Kalvoro
