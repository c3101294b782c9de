// The one rule for a method's result while it runs: it starts as SUCCESS,
// and the first failed check, exception or skip settles it; what comes
// after changes nothing. A run in process, the replay of a host's messages
// and the events of other frameworks' tests all follow it.
#pragma once

#include "UnitTestMethod.h"

namespace Kalvoro {

inline void SettleResult(TUnitTestMethod& aMethod, TUnitTestResult aResult) {
  if (aMethod.TestResult() == tcrSuccess)
    aMethod.SetTestResult(aResult);
}

} // namespace Kalvoro
