// The phase replay: the rules that rebuild a method's phases and result
// from what its host sent. Each message a host sent is fired through the
// scenario's own event list as the framework would fire it, the method's
// phase and result are kept as its phases would keep them, and a phase that
// the host's death interrupted, or that could not run, ends as an exception
// of that phase, with the phases that always follow it.
#pragma once

#include "HostRunState.h"

#include <memory>
#include <string>

namespace Kalvoro {

class THostMessages;
class THostOutput;
struct THostMessage;

class THostReplay {
public:
  THostReplay(THostRunState& aRun, THostOutput& aOutput);
  ~THostReplay();
  THostReplay(const THostReplay&) = delete;
  THostReplay& operator=(const THostReplay&) = delete;

  // Follows aMessage in aMethod's phase and result (a progress message moves
  // its phase; a failed check or an exception sets its result); true when
  // the message is to be fired (Fire). The Exit finish of a method whose
  // module's host ends with it is held back (THostMethod::ExitHeld).
  bool Follow(const THostMessage& aMessage, THostMethod& aMethod);
  // Fires a host's message through the scenario's event list, rebuilt.
  void Fire(const THostMessage& aMessage);

  // Ends the phase that the host's death interrupted as an exception of it.
  // Returns true when the method's Exit is still to run.
  bool EndPhase(THostMethod& aMethod, const std::string& aText);
  // Ends a method whose Exit, to run on its own, could not: its Exit reads
  // as ending with aText.
  void EndExit(THostMethod& aMethod, const std::string& aText);
  // Finishes a method whose Exit was held for its module's host's end, with
  // the leak that the end reported (aLeak; empty: none).
  void EndHeldExit(THostMethod& aMethod, const std::string& aLeak);

private:
  void FireProgress(TProgressType aType, const THostMethod& aMethod, const std::string& aPhase);
  void FireException(THostMethod& aMethod, const std::string& aPhase, const std::string& aText);
  // Fires the lines of the sanitizer's report that the method's standard
  // error holds, once, ahead of the exception that it ends the method with.
  void FireReport(const THostMethod& aMethod);

  THostRunState& FRun;
  THostOutput& FOutput;
  std::unique_ptr<THostMessages> FMessages; // made at the first message
  bool FDelivering = false;
};

} // namespace Kalvoro
