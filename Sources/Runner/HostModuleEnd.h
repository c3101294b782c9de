// The end of a module's host where the host's runtime has LeakSanitizer.
// Such a host serves that module file alone (THostProcess::Serve) and ends
// once the runner is done with the module's methods of the scenario: the
// module's static destructors and atexit handlers run, then the sanitizer's
// check at the host's end. A leak that only that end leaves is read from the
// host's standard error and reported against the module, as an exception
// after its last method, before that method's Exit finishes, so that the
// log, the errors, the summary and JUnit hold it as any other.
#pragma once

#include "HostRunState.h"

namespace Kalvoro {

class THostDeadlines;
class THostOutput;
class THostProcess;
class THostReplay;

class THostModuleEnd {
public:
  THostModuleEnd(THostRunState& aRun, THostReplay& aReplay, THostOutput& aOutput,
                 const THostDeadlines& aDeadlines)
      : FRun(aRun), FReplay(aReplay), FOutput(aOutput), FDeadlines(aDeadlines) {}

  // Ends aRun's host after aMethod, its module's last method, and finishes
  // the method's Exit.
  void End(THostRun& aRun, THostMethod& aMethod);

private:
  // Closes the host's channel and reads it to its end, or kills it at the
  // deadline; what it wrote last goes to aMethod.
  void AwaitEnd(THostProcess& aHost, const THostMethod& aMethod);

  THostRunState& FRun;
  THostReplay& FReplay;
  THostOutput& FOutput;
  const THostDeadlines& FDeadlines;
};

} // namespace Kalvoro
