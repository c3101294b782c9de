// What the results view's details pane tells of a row: for a method, what
// its last run reported (each failed check with its FILE:LINE, each
// exception with its phase, the report lines), how long it took and what it
// wrote to its standard output and error; for a unit test or a scenario, a
// count of its methods by result. Recorded from the run's messages while a
// scenario runs.
#pragma once

#include "JUnitReport.h"
#include "ResultRows.h"
#include "RunListener.h"

#include <QStringList>

#include <chrono>
#include <map>
#include <string>

namespace Kalvoro {

class TTestScenario;
class TUnitTestBase;

class TMethodDetails : public IRunListener {
public:
  TMethodDetails() = default;
  ~TMethodDetails();
  TMethodDetails(const TMethodDetails&) = delete;
  TMethodDetails& operator=(const TMethodDetails&) = delete;

  // Forgets every method's details (a new run).
  void Clear();
  // Listens to the scenario's run until Detach.
  void Attach(TTestScenario& aScenario);
  void Detach();
  // What the method wrote while it ran, as its runner kept it.
  void SetOutput(const TUnitTestMethod* aMethod, std::string aOutput);
  // Output is not kept when methods run in this process.
  void SetOutputCaptured(bool aValue) { FCaptured = aValue; }
  // Where the times come from (as the JUnit report's; tests pin it).
  void SetClock(TSteadyClock aClock) { FClock = std::move(aClock); }

  // The method's time in its last run, from the start of its Init to the end
  // of its Exit, in milliseconds; negative when it did not run.
  double Milliseconds(const TUnitTestMethod* aMethod) const;

  // Where the method's first failed check of its last run stands (the file
  // as the check named it); false when none has a place.
  bool FailureLocation(const TUnitTestMethod* aMethod, QString& aFile, int& aLine) const;

  // After a reload: the records of each method go to the method that stands
  // for it now (aMoves, old to new); the others are dropped.
  void Rekey(const std::map<const TUnitTestMethod*, const TUnitTestMethod*>& aMoves);

  // The lines the pane shows for the row (of aRows, at aRow).
  QStringList Lines(const std::vector<TResultRow>& aRows, int aRow) const;

private:
  struct TRecord {
    QStringList Lines;
    double Milliseconds = -1;
    QString File; // of the first failed check with a place
    int Line = 0;
    std::string Output;
  };

  // What the pane keeps of the run's messages.
  void UnitTestStart(const TProgressMessage& aMessage) override;
  void PhaseStart(TRunPhase aPhase, const TProgressMessage& aMessage) override;
  void PhaseFinish(TRunPhase aPhase, const TProgressMessage& aMessage) override;
  void Report(const TReportMessage& aMessage) override;
  void Check(const TCheckMessage& aMessage) override;
  void Exception(const TExceptionMessage& aMessage) override;
  // The running method's record; messages outside a method's phases (none
  // are expected) go to a record that is not kept.
  TRecord& Record();

  std::map<const TUnitTestMethod*, TRecord> FRecords;
  std::map<const TUnitTestMethod*, std::string> FOutputs;
  TRecord FStray;
  TTestScenario* FScenario = nullptr;
  TUnitTestBase* FUnitTest = nullptr;       // the unit test that runs
  const TUnitTestMethod* FMethod = nullptr; // the method whose phases run
  TRunPhase FPhase = TRunPhase::Init;
  TSteadyClock FClock = SteadyNow;
  std::chrono::nanoseconds FStarted{};
  bool FCaptured = true;
};

} // namespace Kalvoro
