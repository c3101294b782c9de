// What a run's progress shows beyond the scenario's event list: with several
// jobs, methods finish ahead of the run, in any order, and wait to be
// written in run order; the console's bar and Morvane's window count them
// when their hosts report them done, and the window names the oldest method
// that runs.
#pragma once

#include <functional>
#include <string>

namespace Kalvoro {

// A method that runs: its unit test's name and its own.
struct TRunningMethod {
  std::string UnitTest;
  std::string Method;
};

class IRunProgress {
public:
  virtual ~IRunProgress() = default;
  // Methods that finished ahead of the run and are not written yet: the
  // event list counts each once it is written.
  virtual int MethodsFinishedAhead() const = 0;
  // The earliest in run order of the methods that have begun and not
  // finished, where several run at once; false otherwise (the event list
  // then names the running one).
  virtual bool OldestRunning(TRunningMethod& aMethod) const = 0;
  // Called on the run's thread when either changes outside the event list;
  // empty: nobody listens.
  virtual void SetProgressHook(std::function<void()> aHook) = 0;
};

} // namespace Kalvoro
