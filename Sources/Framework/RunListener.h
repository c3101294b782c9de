// The one place that tells run messages apart by their id: DispatchRunMessage
// hands a message to a run listener as its typed kind, and RunListenerEvent
// registers a listener with a scenario's event list. Receivers implement the
// calls they need; the others do nothing.
//
// For the programs and their tests only: nothing of it is in libkalvoro.so,
// so module code and the module ABI never see it.
#pragma once

#include "MessageEventList.h"
#include "NotificationMessages.h"

#include <cstdint>

namespace Kalvoro {

// The guarded phases that each method runs as, in their order.
enum class TRunPhase : std::uint8_t { Init, Method, Exit };

// A receiver of a run's messages, in the order they fire: a scenario, each
// of its unit tests, each method's phases, and within a phase the reports,
// checks and its exception. A phase's progress message comes with the phase
// it starts or finishes.
class IRunListener {
public:
  virtual void ScenarioStart(const TProgressMessage& /*aMessage*/) {}
  virtual void ScenarioFinish(const TProgressMessage& /*aMessage*/) {}
  virtual void UnitTestStart(const TProgressMessage& /*aMessage*/) {}
  virtual void UnitTestFinish(const TProgressMessage& /*aMessage*/) {}
  virtual void PhaseStart(TRunPhase /*aPhase*/, const TProgressMessage& /*aMessage*/) {}
  virtual void PhaseFinish(TRunPhase /*aPhase*/, const TProgressMessage& /*aMessage*/) {}
  virtual void Report(const TReportMessage& /*aMessage*/) {}
  virtual void Check(const TCheckMessage& /*aMessage*/) {}
  virtual void Exception(const TExceptionMessage& /*aMessage*/) {}
  // A message of an id that is none of the above (or a progress type out of
  // range): a test's own message, say.
  virtual void OtherMessage(const TCustomMessage& /*aMessage*/) {}

protected:
  IRunListener() = default;
  IRunListener(const IRunListener&) = default;
  IRunListener& operator=(const IRunListener&) = default;
  ~IRunListener() = default;
};

// Calls the listener's one call for aMessage. The cast follows the id alone:
// the message's class may come from another module's copy of this code.
inline void DispatchRunMessage(const TCustomMessage& aMessage, IRunListener& aListener) {
  switch (aMessage.GetId()) {
  case MessageIdReport:
    aListener.Report(static_cast<const TReportMessage&>(aMessage));
    return;
  case MessageIdCheck:
    aListener.Check(static_cast<const TCheckMessage&>(aMessage));
    return;
  case MessageIdException:
    aListener.Exception(static_cast<const TExceptionMessage&>(aMessage));
    return;
  case MessageIdProgress:
    break;
  default:
    aListener.OtherMessage(aMessage);
    return;
  }
  const auto& Progress = static_cast<const TProgressMessage&>(aMessage);
  switch (Progress.ProgressType()) {
  case ptScenarioStart:
    aListener.ScenarioStart(Progress);
    return;
  case ptScenarioFinish:
    aListener.ScenarioFinish(Progress);
    return;
  case ptUnitTestStart:
    aListener.UnitTestStart(Progress);
    return;
  case ptUnitTestFinish:
    aListener.UnitTestFinish(Progress);
    return;
  case ptInitStart:
    aListener.PhaseStart(TRunPhase::Init, Progress);
    return;
  case ptInitFinish:
    aListener.PhaseFinish(TRunPhase::Init, Progress);
    return;
  case ptMethodStart:
    aListener.PhaseStart(TRunPhase::Method, Progress);
    return;
  case ptMethodFinish:
    aListener.PhaseFinish(TRunPhase::Method, Progress);
    return;
  case ptExitStart:
    aListener.PhaseStart(TRunPhase::Exit, Progress);
    return;
  case ptExitFinish:
    aListener.PhaseFinish(TRunPhase::Exit, Progress);
    return;
  }
  aListener.OtherMessage(aMessage);
}

namespace RunListenerDetail {
template <class T>
void Dispatch(void* aListener, TMessageEventList* /*aSender*/, const TCustomMessage& aMessage) {
  DispatchRunMessage(aMessage, *static_cast<T*>(aListener));
}
} // namespace RunListenerDetail

// The event list's handler for a listener of class T, which consumes the ids
// of aConsumes (MessageIdBit, FailedChecksBit): messages of other ids are
// not built for it. The handler's identity, by which the list removes it, is
// T's own function, as for MakeMessageEvent.
template <class T>
TMessageEvent RunListenerEvent(T* aListener, std::uint32_t aConsumes = AllMessageIds) {
  TMessageEvent Event;
  Event.Object = aListener;
  Event.Code = &RunListenerDetail::Dispatch<T>;
  Event.Consumes = aConsumes;
  return Event;
}

} // namespace Kalvoro
