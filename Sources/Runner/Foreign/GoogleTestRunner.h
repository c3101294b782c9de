// Runs the tests of GoogleTest programs: one program start per module's part
// of the plan (its tests selected by the framework's filter, in a flag file),
// the events read from the result stream as they arrive, the test's own
// output from its pseudo-terminal as its report lines, and the JSON report at
// exit to tell skipped tests from failed ones. The framework runs its tests
// in its own order; each test's events are kept until the run asks for that
// method, so that the messages fire in the run's order. A crash, an exit or a
// hang past the time limit ends the test that was running as an exception,
// and the program starts again for the tests not run yet.
#pragma once

#include "GoogleTestOutcome.h"
#include "GoogleTestOutput.h"
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

class TGoogleTestRunner final : public IKindRunner {
public:
  explicit TGoogleTestRunner(TWaitHook aWait);
  ~TGoogleTestRunner() override;

  void Begin(TTestScenario& aScenario, const std::vector<TPlannedMethod>& aPlan) override;
  void End(bool aCompleted) override;
  void SetShuffle(std::optional<std::uint64_t> aNumber) override { FShuffle = aNumber; }
  void Stop() override { FStop = true; }
  void StopNow() override;
  bool StopRequested() const override { return FStop; }
  void RunMethod(TUnitTestBase& aUnitTest, int aMethodIndex) override;

private:
  using TPart = TGoogleTestPart;
  using TOutcome = TGoogleTestOutcome;

  // The test that aMethod of aUnitTest stands for, and its outcome.
  static std::string TestName(const TUnitTestBase& aUnitTest, int aMethodIndex);
  // Whether the test of that filter name is a DISABLED_ one.
  static bool Disabled(const std::string& aTest);
  // Runs aModule's tests not run yet until aTest is settled.
  void RunUntilSettled(const TModule* aModule, const std::string& aTest);
  void StartProgram(const TModule* aModule);
  // Reads what the running program sent; ends the run of the program when
  // it has ended.
  void Pump(bool aWait);
  void Handle(const TStreamEvent& aEvent);
  void EndProgram();
  int WaitMilliseconds();

  TWaitHook FWait;
  TTestScenario* FScenario = nullptr;
  bool FStop = false;
  std::optional<std::uint64_t> FShuffle;
  // Each module's tests of the plan, in run order.
  std::map<const TModule*, std::vector<std::string>> FPlanned;
  // The DISABLED_ tests chosen by name: they run.
  std::set<std::pair<const TModule*, std::string>> FNamedDisabled;
  std::map<const TModule*, std::map<std::string, TOutcome>> FOutcomes;

  // The program that runs now, and its state.
  const TModule* FRunning = nullptr;
  std::unique_ptr<TTestProgram> FProgram;
  std::unique_ptr<TGoogleTestStream> FStream;
  std::string FFlagFile;
  std::string FSuite;               // the suite that runs
  std::string FOpen;                // the test that runs as the stream says, or empty
  std::int64_t FOpenedAt = 0;       // when it, or the stretch between tests, began (steady ms)
  std::int64_t FKillAt = 0;         // when a test past its limit is killed for good
  std::string FDeath;               // why the runner ended the program
  bool FProgramEnded = false;       // the stream said TestProgramEnd
  bool FProgress = false;           // a test started in this program
  std::vector<TPart> FOutsideParts; // failures outside a test (a suite's set-up)
  TGoogleTestOutput FOutput;        // its output split among its tests
  std::string FReport;
};

} // namespace Kalvoro
