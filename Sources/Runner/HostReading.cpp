// THostRunner's reading of a host: each frame that it sent handled, and an
// error while reading it (a garbled frame, a ring that does not add up,
// memory running out) taken for the host's death, so that the run goes on.
// An error of a handler or of the wait is no host's: it ends the run, as in
// process.
#include "HostRunner.h"

#include "HostProcess.h"
#include "HostProtocol.h"

#include "Interruption.h"

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

THostRunner::TPumped THostRunner::Pump(TModuleRun& aRun, TMethodRun& aMethod, std::string& aDeath) {
  try {
    return Read(aRun, aMethod, aDeath);
  } catch (...) {
    if (RaisedOutside())
      throw;
    aDeath = ReadingError();
  }
  FDeath.clear();
  aRun.Host->Kill();
  return TPumped::Ended;
}

THostRunner::TPumped THostRunner::Read(TModuleRun& aRun, TMethodRun& aMethod, std::string& aDeath) {
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
    while (NextFrame(aRun, aMethod, Frame, Shown)) {
      Look = true;
      if (!Shown && !Handle(aRun, aMethod, Frame.Kind, Frame.Payload, Result, aDeath))
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
      TakeOutput(*aRun.Host, aMethod, UINT64_MAX, UINT64_MAX);
      FReport.Finish();
      // A sanitizer ends its host after its report: the report's first line
      // says why.
      aDeath = !FDeath.empty()        ? FDeath
               : !aRun.Killed.empty() ? aRun.Killed
               : FReport.Found()      ? FReport.Headline()
                                      : aRun.Host->DeathText();
      FDeath.clear();
      return TPumped::Ended;
    }
    // SIGINT or SIGTERM to the runner goes on to the host's process group:
    // the host ends its phase as the runner would in process.
    // With several jobs it is a stop: every running method finishes.
    if (const int Signal = InterruptSignal(); Signal != 0 && FForwarded == 0) {
      FForwarded = Signal;
      FForwardedAt = Now();
      if (FJobs > 1)
        FStop = true;
      else
        aRun.Host->Signal(Signal);
    }
    if (FStop && !FStopSent) {
      FStopSent = true;
      aRun.Host->SendStop();
    }
    if (FStopNow) {
      FDeath = "Stopped by the user";
      aRun.Host->Kill();
      Ended = !aRun.Host->Receive();
      continue;
    }
    int Wait = WaitMilliseconds(FDeath);
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
    if (FWake[0] >= 0)
      Descriptors.push_back(FWake[0]);
    AddAheadDescriptors(Descriptors);
    Outside([&] { FWait(Descriptors, Wait); });
    // A wake-up that a look without waiting left in the pipe ends the next
    // wait at once, which drains it.
    char Drain[64];
    while (Wait > 0 && FWake[0] >= 0 && read(FWake[0], Drain, sizeof Drain) > 0) {
    }
    // A look without waiting takes the ring alone; the socket and the end
    // are read before the next wait.
    RunAhead(Wait == 0);
    if (Wait == 0) {
      aRun.Host->LookAtRing();
      continue;
    }
    Ended = !aRun.Host->Receive();
  }
}

bool THostRunner::RaisedOutside() {
  const bool Outside = FOutside;
  FOutside = false;
  return Outside;
}

bool THostRunner::Handle(TModuleRun& aRun, TMethodRun& aMethod, THostFrame aKind,
                         std::string_view aPayload, TPumped& aResult, std::string& aDeath) {
  switch (aKind) {
  case THostFrame::Hello: {
    const std::uint32_t Version = DecodeHello(aPayload);
    if (Version != HostProtocolVersion) {
      aRun.Host->Kill();
      aRun.GiveUp = "The test process speaks protocol version " + std::to_string(Version) +
                    ", this runner version " + std::to_string(HostProtocolVersion);
      aDeath = aRun.GiveUp;
      aResult = TPumped::Ended;
      return false;
    }
    AwaitStart(false);
    return true;
  }
  case THostFrame::Message:
    aMethod.HostStarted = true;
    Replay(DecodeMessage(aPayload), aMethod);
    return true;
  case THostFrame::MethodDone: {
    std::uint32_t Position = 0;
    TUnitTestResult Result = tcrTodo;
    DecodeMethodDone(aPayload, Position, Result);
    if (aRun.HostBase + Position != aMethod.Position)
      throw EHostProtocol("The test process reported a method out of turn");
    if (aMethod.Method->TestResult() == tcrSuccess)
      aMethod.Method->SetTestResult(Result);
    aMethod.Done = true;
    aRun.HostFinishedOne = true;
    FPhaseStart = 0;
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
    if (FStop || InterruptSignal() != 0) {
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
    DecodeOutput(aPayload, Output, Error);
    TakeOutput(*aRun.Host, aMethod, Output, Error);
    return true;
  }
  case THostFrame::Dropped:
    CountDropped(aPayload);
    return true;
  case THostFrame::LoadFailed:
    aRun.GiveUp = DecodeText(aPayload);
    aDeath = aRun.GiveUp;
    aResult = TPumped::Ended;
    return false;
  default:
    throw EHostProtocol("Garbled frame from the test process: a frame of the runner's own");
  }
}

void THostRunner::CountDropped(std::string_view aPayload) {
  FDropped = static_cast<int>(
      std::min<std::int64_t>(std::int64_t{FDropped} + DecodeDropped(aPayload), INT_MAX));
}

} // namespace Kalvoro
