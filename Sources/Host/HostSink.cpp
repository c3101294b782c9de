#include "HostSink.h"

#include "MonotonicClock.h"
#include "ThreadMessages.h"

#include <unistd.h>

#include <cstdio>

namespace Kalvoro {

namespace {

bool IsPhaseEnd(const TCustomMessage& aMessage) {
  if (aMessage.GetId() != MessageIdProgress)
    return false;
  const TProgressType Type = static_cast<const TProgressMessage&>(aMessage).ProgressType();
  return Type == ptInitFinish || Type == ptMethodFinish || Type == ptExitFinish;
}

bool IsPhaseStart(const TCustomMessage& aMessage) {
  if (aMessage.GetId() != MessageIdProgress)
    return false;
  const TProgressType Type = static_cast<const TProgressMessage&>(aMessage).ProgressType();
  return Type == ptInitStart || Type == ptMethodStart || Type == ptExitStart;
}

bool IsExitEnd(const TCustomMessage& aMessage) {
  return aMessage.GetId() == MessageIdProgress &&
         static_cast<const TProgressMessage&>(aMessage).ProgressType() == ptExitFinish;
}

bool MayBePrinted(const TCustomMessage& aMessage) {
  switch (aMessage.GetId()) {
  case MessageIdProgress:
    return false;
  case MessageIdCheck:
    return !static_cast<const TCheckMessage&>(aMessage).Success();
  default:
    return true;
  }
}

} // namespace

THostSink::THostSink(TRunnerChannel& aChannel, TLeakCheck aLeakCheck)
    : FChannel(aChannel), FLeakCheck(aLeakCheck) {}

void THostSink::OnMessage(TMessageEventList* /*aSender*/, const TCustomMessage& aMessage) {
  EndIfForked();
  // At each phase's end the host looks at its channel: a phase that broke
  // it ends with that as its exception, while the ring still carries it.
  if (!FBroken && IsPhaseEnd(aMessage) && !FChannel.Intact()) {
    FBroken = true;
    MarkOutput(false);
    const auto& Phase = static_cast<const TMessageBase&>(aMessage);
    const TExceptionMessage Broken(
        Phase.ScenarioName(), Phase.UnitTestName(), Phase.MethodName(),
        "The test closed the channel from the test process to the runner");
    FChannel.Frames().Message(Broken, 0);
  }
  // A method that leaked ends with the leaks as an exception of its Exit,
  // and the host retires: the leaks stay in the heap, and a check after
  // the next method would find them again.
  if (FLeakCheck != nullptr && !FLeaked && IsExitEnd(aMessage)) {
    std::fflush(nullptr);
    if (FLeakCheck() != 0) {
      FLeaked = true;
      MarkOutput(true);
      const auto& Phase = static_cast<const TMessageBase&>(aMessage);
      const TExceptionMessage Leaks(Phase.ScenarioName(), Phase.UnitTestName(), Phase.MethodName(),
                                    "LeakSanitizer: detected memory leaks");
      FChannel.Frames().Message(Leaks, 0);
    }
  }
  // What the test wrote is told before each message that the runner may
  // print (a report, a failed check, an exception), so that it shows in its
  // place among the runner's own lines; the rest is told when the method
  // ends. Passing checks, which may come by the million, cost no call.
  if (MayBePrinted(aMessage))
    MarkOutput(false);
  // Only a phase's start needs the time (the runner's time limit counts
  // from it): a check or a phase's end costs no clock call.
  const bool Timed = IsPhaseStart(aMessage);
  FChannel.Frames().Message(aMessage, Timed ? MonotonicNanoseconds() : 0);
  // Published at once: the ring costs no system call, and a host that
  // dies has then lost nothing it reported.
  FChannel.Flush();
}

void THostSink::MarkOutput(bool aWithError) {
  std::fflush(stdout);
  const off_t Output = lseek(STDOUT_FILENO, 0, SEEK_CUR);
  off_t Error = FError;
  if (aWithError) {
    std::fflush(stderr);
    Error = lseek(STDERR_FILENO, 0, SEEK_CUR);
  }
  if (Output < 0 || Error < 0 || (Output == FOutput && Error == FError))
    return;
  FOutput = Output;
  FError = Error;
  FChannel.Frames().Output(static_cast<std::uint64_t>(Output), static_cast<std::uint64_t>(Error));
}

void THostSink::MarkDropped() {
  const unsigned Dropped = ThreadMessages::Dropped();
  if (Dropped == FDropped)
    return;
  FChannel.Frames().Dropped(Dropped - FDropped);
  FDropped = Dropped;
}

} // namespace Kalvoro
