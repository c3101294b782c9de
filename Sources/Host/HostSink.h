// What a run host sends of a run: every message that the runner's handlers
// consume and every progress message (the runner needs the running phase),
// with marks of how far the test's output reached, the threads' dropped
// messages, and the exceptions of a phase that broke the channel or leaked.
#pragma once

#include "HostLifetime.h"
#include "RunnerChannel.h"

#include "RunListener.h"
#include "UnitTestBase.h"

#include <sys/types.h>

namespace Kalvoro {

class THostSink : public IRunListener {
public:
  // aLeakCheck: LeakSanitizer's check, run after each method's Exit, or
  // nullptr.
  THostSink(TRunnerChannel& aChannel, TLeakCheck aLeakCheck);

  void OnMessage(TMessageEventList* aSender, const TCustomMessage& aMessage);

  // Flushes the test's standard output and error and tells the runner how
  // far their files (the runner's, passed as descriptors 1 and 2) now reach.
  void MarkOutput(bool aWithError);

  // Tells the runner how many more checks and reports of the tests' threads
  // were dropped, for its summary.
  void MarkDropped();

  // Whether a test closed the channel or leaked: the host then serves no
  // further method.
  bool Broken() const { return FBroken || FLeaked; }

private:
  // Each message is sent as it is, a phase's start with the time (the
  // runner's time limit counts from it), a phase's end after a look at the
  // channel and the leaks.
  void ScenarioStart(const TProgressMessage& aMessage) override { Send(aMessage, false); }
  void ScenarioFinish(const TProgressMessage& aMessage) override { Send(aMessage, false); }
  void UnitTestStart(const TProgressMessage& aMessage) override { Send(aMessage, false); }
  void UnitTestFinish(const TProgressMessage& aMessage) override { Send(aMessage, false); }
  void PhaseStart(TRunPhase aPhase, const TProgressMessage& aMessage) override;
  void PhaseFinish(TRunPhase aPhase, const TProgressMessage& aMessage) override;
  void Report(const TReportMessage& aMessage) override;
  void Check(const TCheckMessage& aMessage) override;
  void Exception(const TExceptionMessage& aMessage) override;
  void OtherMessage(const TCustomMessage& aMessage) override;

  void Send(const TCustomMessage& aMessage, bool aTimed);
  // Sends an exception of the phase that aPhase's message ends.
  void SendException(const TProgressMessage& aPhase, const char* aText);

  TRunnerChannel& FChannel;
  TLeakCheck FLeakCheck;
  off_t FOutput = 0;
  off_t FError = 0;
  unsigned FDropped = 0;
  // GuardedPhasesEntered when the channel was last looked at.
  unsigned FCheckedAfter = ~0u;
  bool FBroken = false;
  bool FLeaked = false;
};

} // namespace Kalvoro
