// What a scenario's run takes and in what order, and where its methods run:
// the two seams through which the programs' runners drive a scenario's run.
#pragma once

#include "Export.h"

#include <vector>

namespace Kalvoro {

class TTestScenario;
class TUnitTestBase;

// What one run of a scenario takes and in what order. A runner sets one on
// the scenario for a run (TTestScenario::SetRunPlan); without one, a run takes
// every method of every enabled unit test in list order.
class KALVORO_API TRunPlan {
public:
  virtual ~TRunPlan() = default;
  // Asked for each enabled unit test before it would run: one that does not
  // run keeps its "not run" result, and so do all of its methods.
  virtual bool RunsUnitTest(const TUnitTestBase& aUnitTest) const = 0;
  // Asked for each method of a running unit test before it would run: a
  // method that does not run keeps its "not run" result, and its Init and
  // Exit do not run for it.
  virtual bool Runs(const TUnitTestBase& aUnitTest, int aMethodIndex) const = 0;
  // Asked when the scenario's run starts, and when each unit test's run
  // starts: reorder aOrder, which holds the indexes 0..n-1 in list order.
  virtual void OrderUnitTests(const TTestScenario& aScenario, std::vector<int>& aOrder) = 0;
  virtual void OrderMethods(const TUnitTestBase& aUnitTest, std::vector<int>& aOrder) = 0;
};

// Runs methods somewhere other than the running thread (a run host). A runner
// sets one on the scenario for a run (TTestScenario::SetMethodRunner); the
// scenario's run then hands it each method to run instead of running the
// method's phases itself. The method runner sets the method's result and fires
// the method's messages through the scenario, as the phases would have.
class KALVORO_API TMethodRunner {
public:
  virtual ~TMethodRunner() = default;
  virtual void RunMethod(TUnitTestBase& aUnitTest, int aMethodIndex) = 0;
  // True once the run is to start no further method (a user's stop, an
  // interruption): the rest keep "not run". With a runner set the run asks
  // it alone, so a runner that covers interruptions must say so here.
  virtual bool StopRequested() const { return false; }
  // Checks and reports of a test's threads that the runner's processes
  // dropped during the run; the scenario's summary counts them with its own.
  virtual int DroppedMessages() const { return 0; }
};

} // namespace Kalvoro
