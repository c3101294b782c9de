// Runs the tests of programs that report in XML (XmlReportKind.h): one
// program start per module's part of the plan (or per batch of it, where
// the framework cannot be told every name at once), the report read from
// descriptor 3 as it arrives, the test's own output from its
// pseudo-terminal as report lines of the test open at the time. The
// framework runs its tests in its own order; each test's outcome is kept
// until the run asks for that method, so that the messages fire in the
// run's order. A report that stops before its end is never a success: a
// crash, an exit or a hang past the time limit ends the test that was
// running as an exception, and the program starts again for the tests not
// run yet.
#pragma once

#include "TestKind.h"
#include "XmlReader.h"
#include "XmlTestReport.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace Kalvoro {

class TTestProgram;
class TXmlReportKind;
struct TForeignTest;

class TXmlProgramRunner final : public IKindRunner {
public:
  TXmlProgramRunner(TXmlReportKind& aKind, TWaitHook aWait);
  ~TXmlProgramRunner() override;

  void Begin(TTestScenario& aScenario, const std::vector<TPlannedMethod>& aPlan) override;
  void End(bool aCompleted) override;
  void Stop() override { FStop = true; }
  void StopNow() override;
  bool StopRequested() const override { return FStop; }
  void RunMethod(TUnitTestBase& aUnitTest, int aMethodIndex) override;
  void SetShuffle(std::optional<std::uint64_t> aNumber) override { FShuffle = aNumber; }

private:
  // Runs aModule's tests not run yet until aTest has ended.
  void RunUntilEnded(const TModule* aModule, const TForeignTest* aTest);
  void StartProgram(const TModule* aModule);
  // Reads what the running program sent; ends its run when it has ended.
  void Pump();
  void ReadReport();
  // The running program's outcome of the test the report names; null for
  // one that was not asked for (a filter that selects more than it names).
  TTestOutcome* Find(const std::string& aName, const std::string& aFile, unsigned aLine);
  // Splits the output into lines for the test open now (or the next one).
  void TakeOutput(bool aAll);
  void EndProgram();
  void Replay(TUnitTestBase& aUnitTest, int aMethodIndex, const TTestOutcome& aOutcome);
  int WaitMilliseconds() const;

  TXmlReportKind& FKind;
  TWaitHook FWait;
  TTestScenario* FScenario = nullptr;
  bool FStop = false;
  // Each module's tests of the plan, in run order, and their outcomes.
  std::map<const TModule*, std::vector<const TForeignTest*>> FPlanned;
  std::map<const TForeignTest*, TTestOutcome> FOutcomes;
  std::set<const TForeignTest*> FNamed; // marked tests chosen by name: they run
  std::optional<std::uint64_t> FShuffle;

  // The program that runs now, and its state.
  const TModule* FRunning = nullptr;
  std::unique_ptr<TTestProgram> FProgram;
  std::unique_ptr<TXmlTestReport> FReport;
  TXmlReader FReader;
  std::set<const TForeignTest*> FBatch; // the tests that this start runs
  std::string FScratch;                 // the file its arguments may name
  TTestOutcome* FTimed = nullptr;       // the test whose time runs
  std::int64_t FOpenedAt = 0;           // when it started (steady ms)
  std::int64_t FKillAt = 0;             // when a test past its limit is killed for good
  std::string FDeath;                   // why the runner ended the program
  std::vector<std::string> FOutside;    // output lines before the next test
  std::string FOutput;                  // output not yet ended by a new line
  std::string FErrors;
};

} // namespace Kalvoro
