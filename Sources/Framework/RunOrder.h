// A scenario's run in its order, walked in one place: the scenario's run
// (its unit tests), each unit test's run (its methods), and a runner that
// needs the order before the run (TRecordedPlan) all take it from here.
//
// The order is the list order as the run plan, if any, reorders it; a unit
// test is taken when it is enabled and the plan takes it, a method when the
// plan takes it. A subclass says what each step does.
#pragma once

#include "Export.h"

namespace Kalvoro {

class TRunPlan;
class TTestScenario;
class TUnitTestBase;

class KALVORO_API TRunOrder {
public:
  virtual ~TRunOrder() = default;

  // Calls UnitTest for each unit test of aScenario that the run takes, in
  // run order. aPlan (null: every enabled unit test in list order) is asked
  // for the order once, before the first.
  void WalkUnitTests(const TTestScenario& aScenario, TRunPlan* aPlan);
  // Calls Method for each method of aUnitTest that the run takes, in run
  // order, as WalkUnitTests does for unit tests.
  void WalkMethods(TUnitTestBase& aUnitTest, TRunPlan* aPlan);

protected:
  TRunOrder() = default;
  TRunOrder(const TRunOrder&) = default;
  TRunOrder& operator=(const TRunOrder&) = default;

  // Asked before each step: true ends the walk (a stop, an interruption).
  virtual bool Stopped() const { return false; }
  virtual void UnitTest(TUnitTestBase& /*aUnitTest*/) {}
  virtual void Method(TUnitTestBase& /*aUnitTest*/, int /*aIndex*/) {}
};

} // namespace Kalvoro
