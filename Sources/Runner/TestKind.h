// A kind of test code: how a file of it is recognised, listed and run. The
// programs list and run every module through its kind, so that a new kind
// (a test program of another framework) needs no change to the runner core
// or the views. Kalvoro modules, listed and run in run hosts, are the first
// kind (KalvoroKind.h); the others register here.
#pragma once

#include "ModuleLister.h"
#include "RunProgress.h"
#include "UnitTestBase.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Kalvoro {

// Waits until one of aDescriptors is readable, aMilliseconds have passed
// (< 0: no limit) or a signal arrives; 0 is a look between two batches of
// work, which waits for nothing. The console waits with poll; a program with
// an event loop waits in its loop (and at 0 handles what is pending).
using TWaitHook = std::function<void(const std::vector<int>& aDescriptors, int aMilliseconds)>;
void PollWait(const std::vector<int>& aDescriptors, int aMilliseconds);

// One method of a scenario's run, as the run plan orders them.
struct TPlannedMethod {
  TUnitTestBase* UnitTest;
  int Method;
  // Chosen by its own name (INamedMethods): a test that its framework runs
  // only by name (disabled, hidden, marked to skip) runs then.
  bool Named = false;
};

// A run plan that tells which of its methods were chosen by their own name:
// a filter that names them without a wildcard, a row of their own picked.
class INamedMethods {
public:
  virtual ~INamedMethods() = default;
  virtual bool Named(const TUnitTestBase& aUnitTest, int aMethodIndex) const = 0;
};

// Whether a unit test is one that never runs beside another.
using TSerialTest = std::function<bool(const TUnitTestBase&)>;

// Runs the methods of one kind's modules in a scenario's run: told the
// methods it will run (in run order) when the scenario begins, then asked for
// each in turn (RunMethod), then told that the scenario is over.
class IKindRunner : public TMethodRunner {
public:
  virtual void Begin(TTestScenario& aScenario, const std::vector<TPlannedMethod>& aPlan) = 0;
  // The run is shuffled from aNumber (nullopt: it is not), told before
  // Begin. The plan's order is already shuffled; a kind whose programs run
  // their tests in an order of their own may shuffle them from it.
  virtual void SetShuffle(std::optional<std::uint64_t> /*aNumber*/) {}
  // How many of its unit tests may run at once (a kind that runs one at a
  // time ignores it), and those that run with none beside them.
  virtual void SetJobs(int /*aJobs*/, TSerialTest /*aSerial*/) {}
  // The scenario's run is over: completed, or ended by an error (the
  // runner then ends what it started).
  virtual void End(bool aCompleted) = 0;
  // The first stop ends the run after the running method; StopNow ends the
  // running one at once.
  virtual void Stop() = 0;
  virtual void StopNow() = 0;
  // What the method wrote to its output in its last run; empty when the kind
  // keeps none.
  virtual std::string MethodOutput(const TUnitTestMethod&) const { return {}; }
  // Progress outside the event list (RunProgress.h), where the kind runs
  // several methods at once.
  virtual int MethodsFinishedAhead() const { return 0; }
  virtual bool OldestRunning(TRunningMethod& /*aMethod*/) const { return false; }
  virtual void SetProgressHook(std::function<void()> /*aHook*/) {}
  // After a stop: whether methods that ran ahead are still to be written,
  // so that the run goes on asking for them.
  virtual bool FinishingAhead() const { return false; }
};

class ITestKind : public IModuleLister {
public:
  // As the programs show it: "Kalvoro module".
  virtual std::string Name() const = 0;
  // Whether the file at aPath is of this kind, read from its bytes: nothing
  // is run to find out.
  virtual bool Recognises(const std::string& aPath) const = 0;
  // A runner of this kind's methods for one run of the programs.
  virtual std::unique_ptr<IKindRunner> MakeRunner(const TWaitHook& aWait) = 0;
};

// The kinds beside Kalvoro modules, asked in the order registered. Not
// owned: a kind stays registered until it unregisters.
void RegisterTestKind(ITestKind* aKind);
void UnregisterTestKind(ITestKind* aKind);
const std::vector<ITestKind*>& TestKinds();

} // namespace Kalvoro
