// The reading of a host: its ring looked at, its socket and end read, the
// wait between, and each frame handled.
#include "HostReading.h"

#include "HostAhead.h"
#include "HostDeadlines.h"
#include "HostOutput.h"
#include "HostProcess.h"
#include "HostProtocol.h"
#include "HostReplay.h"

#include "Interruption.h"
#include "MethodResult.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include <unistd.h>

namespace Kalvoro {

namespace {

// How often a waiting runner looks at a running host's ring, in ms.
constexpr int RingLook = 2;

} // namespace

// The text of the error being handled, raised while reading a host.
std::string ReadingError() {
  try {
    throw;
  } catch (const EHostProtocol& Error) {
    return Error.what();
  } catch (const std::exception& Error) {
    return std::string("The runner failed to read the test process: ") + Error.what();
  } catch (...) {
    return "The runner failed to read the test process";
  }
}

TPumped THostReader::Pump(THostRun& aRun, THostMethod& aMethod, std::string& aDeath) {
  try {
    return Read(aRun, aMethod, aDeath);
  } catch (...) {
    if (FRun.RaisedOutside())
      throw;
    aDeath = ReadingError();
  }
  FDeath.clear();
  aRun.Host->Kill();
  return TPumped::Ended;
}

TPumped THostReader::Read(THostRun& aRun, THostMethod& aMethod, std::string& aDeath) {
  // A second SIGINT or SIGTERM while the runner reads a host kills the host.
  const TTakeSecondInterruption SecondSignal;
  // The frames read before come first, the ring after them: a host that runs
  // ahead waits in its ring, not in this process's memory.
  bool Ended = false;
  bool Look = true; // whether to look at the ring again before sleeping
  for (;;) {
    TPumped Result = TPumped::Done;
    THostFrameView Frame{};
    bool Shown = false;
    while (FAhead.NextFrame(aRun, aMethod, Frame, Shown)) {
      Look = true;
      if (!Shown && !Handle(aRun, aMethod, Frame, Result, aDeath))
        return Result;
    }
    // A host given back after its plan left only its backlog, which ends
    // with its Finished.
    if (!aRun.Host)
      return TPumped::Restart;
    if (!aRun.Broken.empty())
      throw EHostProtocol(aRun.Broken);
    if (Ended) {
      if (!aRun.Host->HasEnded())
        aRun.Host->AwaitEnd(1.0);
      // What it wrote last (a sanitizer's report, say) belongs to the method.
      FOutput.Take(*aRun.Host, *aMethod.Method, UINT64_MAX, UINT64_MAX);
      FOutput.FinishReport();
      // A sanitizer ends its host after its report: the report's first line
      // says why.
      aDeath = !FDeath.empty()            ? FDeath
               : !aRun.Killed.empty()     ? aRun.Killed
               : FOutput.Report().Found() ? FOutput.Report().Headline()
                                          : aRun.Host->DeathText();
      FDeath.clear();
      return TPumped::Ended;
    }
    // SIGINT or SIGTERM to the runner goes on to the host's process group:
    // the host ends its phase as the runner would in process.
    // With several jobs it is a stop: every running method finishes.
    if (const int Signal = InterruptSignal(); Signal != 0 && FRun.Forwarded == 0) {
      FDeadlines.Forward(Signal);
      if (FRun.Jobs > 1)
        FRun.Stop = true;
      else
        aRun.Host->Signal(Signal);
    }
    if (FRun.Stop && !FRun.StopSent) {
      FRun.StopSent = true;
      aRun.Host->SendStop();
    }
    if (FRun.StopNow) {
      FDeath = "Stopped by the user";
      aRun.Host->Kill();
      Ended = !aRun.Host->Receive();
      continue;
    }
    int Wait = FDeadlines.WaitMilliseconds(FDeath);
    if (Wait == 0) {
      aRun.Host->Kill();
      Ended = !aRun.Host->Receive();
      continue;
    }
    // The host publishes to its ring without waking this process unless the
    // ring fills up: after frames the ring is looked at again at once (the
    // wait only lets the program's events through), else every few
    // milliseconds.
    Wait = Look ? 0 : Wait < 0 ? RingLook : std::min(Wait, RingLook);
    Look = false;
    std::vector<int> Descriptors = aRun.Host->Descriptors();
    if (FWake >= 0)
      Descriptors.push_back(FWake);
    FAhead.AddDescriptors(Descriptors);
    FRun.WaitFor(Descriptors, Wait);
    // A wake-up that a look without waiting left in the pipe ends the next
    // wait at once, which drains it.
    char Drain[64];
    while (Wait > 0 && FWake >= 0 && read(FWake, Drain, sizeof Drain) > 0) {
    }
    // A look without waiting takes the ring alone; the socket and the end
    // are read before the next wait.
    FAhead.Run(Wait == 0);
    if (Wait == 0) {
      aRun.Host->LookAtRing();
      continue;
    }
    Ended = !aRun.Host->Receive();
  }
}

bool THostReader::Handle(THostRun& aRun, THostMethod& aMethod, const THostFrameView& aFrame,
                         TPumped& aResult, std::string& aDeath) {
  const std::string_view Payload = aFrame.Payload;
  switch (aFrame.Kind) {
  case THostFrame::Hello: {
    const std::uint32_t Version = DecodeHello(Payload);
    if (Version != HostProtocolVersion) {
      aRun.Host->Kill();
      aRun.GiveUp = "The test process speaks protocol version " + std::to_string(Version) +
                    ", this runner version " + std::to_string(HostProtocolVersion);
      aDeath = aRun.GiveUp;
      aResult = TPumped::Ended;
      return false;
    }
    if (aRun.Host && aRun.Host.State == THostState::Starting)
      aRun.Host.Become(THostState::Running);
    FDeadlines.AwaitStart(false);
    return true;
  }
  case THostFrame::Message:
    aMethod.HostStarted = true;
    Replay(aFrame, aMethod);
    return true;
  case THostFrame::MethodDone: {
    std::uint32_t Position = 0;
    TUnitTestResult Result = tcrTodo;
    DecodeMethodDone(Payload, Position, Result);
    if (aRun.HostBase + Position != aMethod.Position)
      throw EHostProtocol("The test process reported a method out of turn");
    SettleResult(*aMethod.Method, Result);
    aMethod.Done = true;
    aRun.Host.FinishedOne = true;
    FDeadlines.PhaseAt(0);
    aResult = TPumped::Done;
    return false;
  }
  case THostFrame::Retire:
  case THostFrame::Finished:
    if (aMethod.HostStarted)
      throw EHostProtocol("The test process ended in the middle of a method");
    // A host that retired after a crash, that stopped, or that ran its whole
    // plan before this method was asked for: the next host starts at this
    // method, unless the run stops.
    if (FRun.Stop || InterruptSignal() != 0) {
      aMethod.Method->SetTestResult(tcrTodo);
      aMethod.Done = true;
      aRun.StopOver = true;
      aResult = TPumped::Done;
    } else {
      aResult = TPumped::Restart;
    }
    return false;
  case THostFrame::Output: {
    std::uint64_t Output = 0;
    std::uint64_t Error = 0;
    DecodeOutput(Payload, Output, Error);
    FOutput.Take(*aRun.Host, *aMethod.Method, Output, Error);
    return true;
  }
  case THostFrame::Dropped:
    FRun.CountDropped(Payload);
    return true;
  case THostFrame::LoadFailed:
    aRun.GiveUp = DecodeText(Payload);
    aDeath = aRun.GiveUp;
    aResult = TPumped::Ended;
    return false;
  default:
    throw EHostProtocol("Garbled frame from the test process: a frame of the runner's own");
  }
}

void THostReader::Replay(const THostFrameView& aFrame, THostMethod& aMethod) {
  const THostMessage Message = aFrame.Decoded ? aFrame.Message : DecodeMessage(aFrame.Payload);
  const bool Fire = FReplay.Follow(Message, aMethod);
  if (Message.Id == MessageIdProgress) {
    if (Message.ProgressType == ptExitFinish)
      FRun.MethodWritten();
    const THostPhase Phase = aMethod.Phase;
    const bool Running =
        Phase == THostPhase::Init || Phase == THostPhase::Method || Phase == THostPhase::Exit;
    FDeadlines.PhaseAt(Running ? Message.Time : 0);
  }
  if (Fire)
    FReplay.Fire(Message);
}

} // namespace Kalvoro
