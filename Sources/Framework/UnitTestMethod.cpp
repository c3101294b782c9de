#include "UnitTestMethod.h"

#include "UnitTestBase.h"

namespace Kalvoro {

TUnitTestMethod::TUnitTestMethod(TUnitTestProc aMethod, std::string_view aName)
    : FMethod(aMethod), FName(CutName(aName)) {
  KALVORO_ASSERT(aMethod.HasMethod());
}

TUnitTestMethod::~TUnitTestMethod() {
  FMethod = {};
}

void TUnitTestMethod::Fire() {
  if (FMethod.HasMethod() && FMethod.Object != nullptr)
    (FMethod.Object->*FMethod.Code)();
}

} // namespace Kalvoro
