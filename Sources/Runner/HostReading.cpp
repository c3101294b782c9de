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

namespace Kalvoro {

namespace {

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

} // namespace

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
