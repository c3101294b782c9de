#include "HostMessages.h"

namespace Kalvoro {

namespace {

// An empty message of aMessage's kind (a decoded frame's id is one of the
// four, its progress type in range).
std::unique_ptr<TMessageBase> Blank(const THostMessage& aMessage) {
  switch (aMessage.Id) {
  case MessageIdReport:
    return std::make_unique<TReportMessage>(std::string());
  case MessageIdCheck:
    return std::make_unique<TCheckMessage>(std::string());
  case MessageIdException:
    return std::make_unique<TExceptionMessage>(std::string(), std::string(), std::string(),
                                               std::string());
  default:
    return std::make_unique<TProgressMessage>(aMessage.ProgressType, std::string(), std::string(),
                                              std::string());
  }
}

// Gives aTarget, a message of aMessage's kind, aMessage's fields; a text is
// copied only when it differs. A progress message carries no text.
void Fill(TMessageBase& aTarget, const THostMessage& aMessage) {
  if (aMessage.Id != MessageIdProgress && aTarget.Message() != aMessage.Text)
    aTarget.SetMessage(std::string(aMessage.Text));
  if (aTarget.ScenarioName() != aMessage.ScenarioName)
    aTarget.SetScenarioName(std::string(aMessage.ScenarioName));
  if (aTarget.UnitTestName() != aMessage.UnitTestName)
    aTarget.SetUnitTestName(std::string(aMessage.UnitTestName));
  if (aTarget.MethodName() != aMessage.MethodName)
    aTarget.SetMethodName(std::string(aMessage.MethodName));
  if (aMessage.Id != MessageIdCheck)
    return;
  auto& Check = static_cast<TCheckMessage&>(aTarget);
  Check.SetSuccess(aMessage.Success);
  if (Check.FileName() != aMessage.FileName || Check.Line() != aMessage.Line)
    Check.SetLocation(std::string(aMessage.FileName), aMessage.Line);
}

std::size_t SlotOf(const THostMessage& aMessage) {
  return aMessage.Id == MessageIdProgress ? 3 + static_cast<std::size_t>(aMessage.ProgressType)
                                          : static_cast<std::size_t>(aMessage.Id - MessageIdReport);
}

} // namespace

std::unique_ptr<TMessageBase> RebuildMessage(const THostMessage& aMessage) {
  auto Message = Blank(aMessage);
  Fill(*Message, aMessage);
  return Message;
}

const TMessageBase& THostMessages::Rebuild(const THostMessage& aMessage) {
  std::unique_ptr<TMessageBase>& Kept = FKept.at(SlotOf(aMessage));
  if (!Kept)
    Kept = Blank(aMessage);
  Fill(*Kept, aMessage);
  return *Kept;
}

} // namespace Kalvoro
