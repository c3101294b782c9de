// Runs the tests of programs that report in XML (XmlReportKind.h): one
// program start per module's part of the plan, or with several jobs per unit
// test's part, several at once (ProgramSchedule.h; or per batch of it, where
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

#include "AheadStore.h"
#include "ProgramSchedule.h"
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
  void SetJobs(int aJobs, TSerialTest aSerial) override {
    FSchedule.SetJobs(aJobs, std::move(aSerial));
  }

private:
  struct TStart;

  // Whether aUnit has tests to run and no start running.
  bool Pending(std::size_t aUnit);
  // Runs aTest's unit's tests not run yet until aTest has ended.
  void RunUntilEnded(const TForeignTest* aTest);
  void StartProgram(std::size_t aUnit);
  // Reads what the running programs sent; ends the run of each that has
  // ended.
  void Pump(bool aWait);
  void ReadReport(TStart& aStart);
  // The outcome of the test the report names, among aStart's; null for one
  // that was not asked for (a filter that selects more than it names).
  TTestOutcome* Find(TStart& aStart, const std::string& aName, const std::string& aFile,
                     unsigned aLine);
  // Splits the output into lines for the test open now (or the next one).
  static void TakeOutput(TStart& aStart, bool aAll);
  void EndProgram(TStart& aStart);
  void Replay(TUnitTestBase& aUnitTest, int aMethodIndex, const TTestOutcome& aOutcome);

  TXmlReportKind& FKind;
  TWaitHook FWait;
  TTestScenario* FScenario = nullptr;
  bool FStop = false;
  TProgramSchedule FSchedule;
  // Each unit's tests of the plan, in run order, and the unit of each test.
  std::vector<std::pair<const TModule*, std::vector<const TForeignTest*>>> FUnits;
  std::map<const TForeignTest*, std::size_t> FUnitOf;
  std::map<const TForeignTest*, TTestOutcome> FOutcomes;
  std::set<const TForeignTest*> FNamed; // marked tests chosen by name: they run
  std::optional<std::uint64_t> FShuffle;
  TAheadKeeper<TTestOutcome> FKeeper;
  // The programs that run now.
  std::vector<std::unique_ptr<TStart>> FStarts;
};

} // namespace Kalvoro
