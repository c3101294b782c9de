// Runs the tests of GoogleTest programs: one program start per module's part
// of the plan, or with several jobs per unit test's part, several at once
// (ProgramSchedule.h; its tests selected by the framework's filter, in a
// flag file),
// the events read from the result stream as they arrive, the test's own
// output from its pseudo-terminal as its report lines, and the printer's end
// lines (or, for a program without the printer, the JSON report at exit) to
// tell skipped tests from failed ones. The framework runs its tests
// in its own order; each test's events are kept until the run asks for that
// method, so that the messages fire in the run's order. A crash, an exit or a
// hang past the time limit ends the test that was running as an exception,
// and the program starts again for the tests not run yet.
#pragma once

#include "AheadStore.h"
#include "GoogleTestOutcome.h"
#include "GoogleTestOutput.h"
#include "GoogleTestPrinter.h"
#include "ProgramSchedule.h"
#include "TestKind.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace Kalvoro {

class TGoogleTestStream;
class TTestProgram;
struct TStreamEvent;

struct TGoogleTestStart;

class TGoogleTestRunner final : public IKindRunner {
public:
  explicit TGoogleTestRunner(TWaitHook aWait);
  ~TGoogleTestRunner() override;

  void Begin(TTestScenario& aScenario, const std::vector<TPlannedMethod>& aPlan) override;
  void End(bool aCompleted) override;
  void SetShuffle(std::optional<std::uint64_t> aNumber) override { FShuffle = aNumber; }
  void SetJobs(int aJobs, TSerialTest aSerial) override {
    FSchedule.SetJobs(aJobs, std::move(aSerial));
  }
  void Stop() override { FStop = true; }
  void StopNow() override;
  bool StopRequested() const override { return FStop; }
  void RunMethod(TUnitTestBase& aUnitTest, int aMethodIndex) override;

private:
  using TPart = TGoogleTestPart;
  using TOutcome = TGoogleTestOutcome;
  using TStart = TGoogleTestStart;

  // The test that aMethod of aUnitTest stands for, and its outcome.
  static std::string TestName(const TUnitTestBase& aUnitTest, int aMethodIndex);
  // Whether the test of that filter name is a DISABLED_ one.
  static bool Disabled(const std::string& aTest);
  // Whether the test runs in its program: not a DISABLED_ one not named.
  bool Runs(const TModule* aModule, const std::string& aTest) const;
  // Whether aUnit has tests to run and no start running.
  bool Pending(std::size_t aUnit);
  // Runs aModule's tests not run yet until aTest is settled.
  void RunUntilSettled(const TModule* aModule, const std::string& aTest);
  void StartProgram(std::size_t aUnit);
  // Reads what the running programs sent; ends the run of each that has
  // ended.
  void Pump(bool aWait);
  // Handles what aStart's stream has sent.
  void HandleAll(TStart& aStart);
  void Handle(TStart& aStart, const TStreamEvent& aEvent);
  void EndProgram(TStart& aStart);
  void Kill(const std::string& aDeath);

  TWaitHook FWait;
  TTestScenario* FScenario = nullptr;
  bool FStop = false;
  std::optional<std::uint64_t> FShuffle;
  TProgramSchedule FSchedule;
  // Each unit's tests of the plan, in run order, and the unit of each test.
  std::vector<std::pair<const TModule*, std::vector<std::string>>> FUnits;
  std::map<std::pair<const TModule*, std::string>, std::size_t> FUnitOf;
  // The DISABLED_ tests chosen by name: they run.
  std::set<std::pair<const TModule*, std::string>> FNamedDisabled;
  std::map<const TModule*, std::map<std::string, TOutcome>> FOutcomes;
  TAheadKeeper<TOutcome> FKeeper;
  TGoogleTestPrinter FPrinter; // whose programs need their JSON report
  unsigned FLooks = 0;         // methods asked for: every so many, the programs are read
  // The programs that run now.
  std::vector<std::unique_ptr<TStart>> FStarts;
};

} // namespace Kalvoro
