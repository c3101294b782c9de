// The reading of the host that runs the method the run asked for: each
// frame that it sent handled (its messages replayed, its output shown, its
// end taken), and an error while reading it (a garbled frame, a ring that
// does not add up, memory running out) taken for the host's death, so that
// the run goes on. An error of a handler or of the wait is no host's: it
// ends the run, as in process.
#pragma once

#include "HostRunState.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace Kalvoro {

class THostAhead;
class THostDeadlines;
class THostOutput;
class THostReplay;
enum class THostFrame : std::uint8_t;

// The text of the error being handled, raised while reading a host.
std::string ReadingError();

// How a method's reading ended: the method is done, its host ended (how:
// the death text), or its host ended its plan before it, so that another
// host is to run it.
enum class TPumped : std::uint8_t { Done, Ended, Restart };

class THostReader {
public:
  // aWake: the pipe's end through which a stop wakes the wait (-1: none).
  THostReader(THostRunState& aRun, THostReplay& aReplay, THostOutput& aOutput,
              THostDeadlines& aDeadlines, THostAhead& aAhead, const int& aWake)
      : FRun(aRun), FReplay(aReplay), FOutput(aOutput), FDeadlines(aDeadlines), FAhead(aAhead),
        FWake(aWake) {}

  // Reads and replays aRun's frames until aMethod is done or its host has
  // ended (aDeath: how it ended).
  TPumped Pump(THostRun& aRun, THostMethod& aMethod, std::string& aDeath);

private:
  TPumped Read(THostRun& aRun, THostMethod& aMethod, std::string& aDeath);
  // Handles one frame; false when it ends the pumping (aResult says how).
  bool Handle(THostRun& aRun, THostMethod& aMethod, const THostFrameView& aFrame, TPumped& aResult,
              std::string& aDeath);
  // Replays a message frame: the phase and result, the progress's deadline
  // and count, then the message fired.
  void Replay(const THostFrameView& aFrame, THostMethod& aMethod);

  THostRunState& FRun;
  THostReplay& FReplay;
  THostOutput& FOutput;
  THostDeadlines& FDeadlines;
  THostAhead& FAhead;
  const int& FWake;   // read after the runner has made its pipe
  std::string FDeath; // the text that a kill by the runner gives
};

} // namespace Kalvoro
