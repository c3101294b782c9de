#include "KeptProgress.h"

#include "MessageEventList.h"

#include <optional>

namespace Kalvoro {

namespace {
struct TKept {
  std::optional<TProgressMessage> Message;
  bool Busy = false;
};
thread_local TKept Kept[ptExitFinish + 1];
} // namespace

void TKeptProgress::Deliver(TMessageEventList& aHandlers, TProgressType aType,
                            const std::string& aScenarioName, const std::string& aUnitTestName,
                            const std::string& aMethodName) {
  TKept& Own = Kept[aType];
  if (Own.Busy) {
    const TProgressMessage Message(aType, aScenarioName, aUnitTestName, aMethodName);
    aHandlers.Deliver(Message);
    return;
  }
  if (!Own.Message)
    Own.Message.emplace(aType, aScenarioName, aUnitTestName, aMethodName);
  TProgressMessage& Message = *Own.Message;
  if (Message.ScenarioName() != aScenarioName)
    Message.SetScenarioName(aScenarioName);
  if (Message.UnitTestName() != aUnitTestName)
    Message.SetUnitTestName(aUnitTestName);
  if (Message.MethodName() != aMethodName)
    Message.SetMethodName(aMethodName);
  Own.Busy = true;
  try {
    aHandlers.Deliver(Message);
  } catch (...) {
    Own.Busy = false;
    throw;
  }
  Own.Busy = false;
}

} // namespace Kalvoro
