// A scenario's summary: what its last run counted (implemented in TestScenario.cpp).
#pragma once

#include "Export.h"

namespace Kalvoro {

class TTestScenario;

// The counters of a scenario's last run.
class KALVORO_API TSummary {
public:
  TSummary() { Clear(); }
  void Clear();
  void Summarize(const TTestScenario* aScenario);

  int TotalUnitTests() const { return FTotalUnitTests; }
  int UnitTestTodo() const { return FUnitTestTodo; }
  int UnitTestSuccess() const { return FUnitTestSuccess; }
  int UnitTestFailure() const { return FUnitTestFailure; }
  int UnitTestException() const { return FUnitTestException; }
  int TotalMethods() const { return FTotalMethods; }
  int MethodTodo() const { return FMethodTodo; }
  int MethodSuccess() const { return FMethodSuccess; }
  int MethodFailure() const { return FMethodFailure; }
  int MethodException() const { return FMethodException; }
  bool Empty() const { return FEmpty; }
  // Checks and reports that a test's threads made during the run while no
  // method of their unit test ran; they were dropped.
  int DroppedMessages() const { return FDroppedMessages; }
  void SetDroppedMessages(int aCount) { FDroppedMessages = aCount; }

private:
  int FTotalUnitTests = 0;
  int FUnitTestTodo = 0;
  int FUnitTestSuccess = 0;
  int FUnitTestFailure = 0;
  int FUnitTestException = 0;
  int FTotalMethods = 0;
  int FMethodTodo = 0;
  int FMethodSuccess = 0;
  int FMethodFailure = 0;
  int FMethodException = 0;
  bool FEmpty = true;
  int FDroppedMessages = 0;
};

} // namespace Kalvoro
