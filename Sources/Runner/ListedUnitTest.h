// A unit test as a listing describes it: its name and its methods' names,
// with no code in this process. The programs keep these in their projects
// and scenarios; a method runner (a run host, or the module loaded for a run
// in process) runs what they stand for and sets their results.
#pragma once

#include "UnitTestBase.h"

#include <string>
#include <string_view>
#include <vector>

namespace Kalvoro {

class TListedUnitTest final : public TUnitTestBase {
public:
  TListedUnitTest(TModule* aModule, std::string_view aName,
                  const std::vector<std::string>& aMethods);
  void Register() override {}
  // Why its methods cannot run (the text they raise when run in place).
  void SetMissing(std::string aWhy) { FMissing = std::move(aWhy); }

private:
  // The code of every method: a description run in place has none.
  void NotHere();
  std::string FMissing;
};

} // namespace Kalvoro
