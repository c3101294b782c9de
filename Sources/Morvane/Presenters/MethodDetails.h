// What the results view's details pane tells of a row: for a method, what
// its last run reported (each failed check with its FILE:LINE, each
// exception with its phase, the report lines), how long it took and what it
// wrote to its standard output and error; for a unit test or a scenario, a
// count of its methods by result. Recorded from the run's messages while a
// scenario runs.
#pragma once

#include "JUnitReport.h"
#include "MessageEventList.h"
#include "ResultRows.h"

#include <QStringList>

#include <chrono>
#include <map>
#include <string>

namespace Kalvoro {

class TTestScenario;
class TUnitTestBase;

class TMethodDetails {
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

  void HandleMessage(TMessageEventList* aSender, const TCustomMessage& aMessage);

private:
  struct TRecord {
    QStringList Lines;
    double Milliseconds = -1;
    QString File; // of the first failed check with a place
    int Line = 0;
    std::string Output;
  };
  std::map<const TUnitTestMethod*, TRecord> FRecords;
  std::map<const TUnitTestMethod*, std::string> FOutputs;
  TTestScenario* FScenario = nullptr;
  TUnitTestBase* FUnitTest = nullptr;       // the unit test that runs
  const TUnitTestMethod* FMethod = nullptr; // the method whose phases run
  std::string FPhase;                       // "Init", "Method" or "Exit"
  TSteadyClock FClock = SteadyNow;
  std::chrono::nanoseconds FStarted{};
  bool FCaptured = true;
};

} // namespace Kalvoro
