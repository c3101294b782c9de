#include "HostSink.h"

#include "CrashGuard.h"
#include "MonotonicClock.h"
#include "ThreadMessages.h"

#include <unistd.h>

#include <cstdio>

namespace Kalvoro {

THostSink::THostSink(TRunnerChannel& aChannel, TLeakCheck aLeakCheck)
    : FChannel(aChannel), FLeakCheck(aLeakCheck) {}

void THostSink::OnMessage(TMessageEventList* /*aSender*/, const TCustomMessage& aMessage) {
  EndIfForked();
  DispatchRunMessage(aMessage, *this);
}

void THostSink::PhaseStart(TRunPhase /*aPhase*/, const TProgressMessage& aMessage) {
  Send(aMessage, true);
}

void THostSink::PhaseFinish(TRunPhase aPhase, const TProgressMessage& aMessage) {
  // At the end of each phase that ran test code the host looks at its
  // channel: a phase that broke it ends with that as its exception, while
  // the ring still carries it.
  const unsigned Entered = GuardedPhasesEntered();
  if (!FBroken && Entered != FCheckedAfter && !FChannel.Intact()) {
    FBroken = true;
    MarkOutput(false);
    SendException(aMessage, "The test closed the channel from the test process to the runner");
  }
  FCheckedAfter = Entered;
  // A method that leaked ends with the leaks as an exception of its Exit,
  // and the host retires: the leaks stay in the heap, and a check after
  // the next method would find them again.
  if (aPhase == TRunPhase::Exit && FLeakCheck != nullptr && !FLeaked) {
    std::fflush(nullptr);
    if (FLeakCheck() != 0) {
      FLeaked = true;
      MarkOutput(true);
      SendException(aMessage, "LeakSanitizer: detected memory leaks");
    }
  }
  Send(aMessage, false);
}

// What the test wrote is told before each message that the runner may print
// (a report, a failed check, an exception), so that it shows in its place
// among the runner's own lines; the rest is told when the method ends.
// Passing checks, which may come by the million, cost no call.
void THostSink::Report(const TReportMessage& aMessage) {
  MarkOutput(false);
  Send(aMessage, false);
}

void THostSink::Check(const TCheckMessage& aMessage) {
  if (!aMessage.Success())
    MarkOutput(false);
  Send(aMessage, false);
}

void THostSink::Exception(const TExceptionMessage& aMessage) {
  MarkOutput(false);
  Send(aMessage, false);
}

void THostSink::OtherMessage(const TCustomMessage& aMessage) {
  MarkOutput(false);
  Send(aMessage, false);
}

void THostSink::Send(const TCustomMessage& aMessage, bool aTimed) {
  // Only a phase's start carries the time (the runner's time limit counts
  // from it): a check or a phase's end costs no clock call.
  FChannel.Frames().Message(aMessage, aTimed ? MonotonicNanoseconds() : 0);
  // Published at once: the ring costs no system call, and a host that
  // dies has then lost nothing it reported.
  FChannel.Flush();
}

void THostSink::SendException(const TProgressMessage& aPhase, const char* aText) {
  const TExceptionMessage Error(aPhase.ScenarioName(), aPhase.UnitTestName(), aPhase.MethodName(),
                                aText);
  FChannel.Frames().Message(Error, 0);
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
