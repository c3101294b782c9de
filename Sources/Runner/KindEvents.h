// The messages of one method's run for a kind whose tests run outside this
// framework (a test program): the phases as the framework runs them (Init,
// the method, Exit; such a test has no Init or Exit of its own, so theirs are
// empty), then its checks, reports and errors, and its result. A kind's
// runner fires them through the scenario as they happen, so that the pages,
// the tree, the progress and JUnit read them as those of a Kalvoro method.
#pragma once

#include "UnitTestBase.h"

#include <functional>
#include <string>

namespace Kalvoro {

class TMethodEvents {
public:
  // aUnitTest must be in its scenario's run (its scenario set).
  TMethodEvents(TUnitTestBase& aUnitTest, int aMethodIndex);

  // Init starts and finishes, and the method starts; its result is SUCCESS
  // until a check fails or an error is reported. aInit fires what belongs to
  // Init (a failure before the test: its suite's set-up).
  void Start(const std::function<void()>& aInit = {});
  void Report(const std::string& aText);
  // A check: a failed one makes the result FAILURE (unless it is worse).
  void Check(bool aPassed, const std::string& aText, const std::string& aFile = {},
             unsigned aLine = 0);
  // An error that ended the method (a crash, a time limit, an error the
  // test raised): a result still SUCCESS becomes EXCEPTION, as in a
  // Kalvoro method.
  void Exception(const std::string& aText);
  // The test skipped itself (aText: why, reported): unless something
  // failed, it ends not run, as the summary's skipped count and JUnit's
  // skipped case show it.
  void Skip(const std::string& aText);
  // The method finishes, then Exit starts and finishes.
  void Finish();

private:
  void Progress(TProgressType aType, const std::string& aPhase);

  TUnitTestBase& FUnitTest;
  TUnitTestMethod& FMethod;
  TTestScenario& FScenario;
  std::string FPhase; // the phase that is running, for an error's place
  bool FSkipped = false;
};

} // namespace Kalvoro
