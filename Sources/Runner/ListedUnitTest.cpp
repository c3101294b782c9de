#include "ListedUnitTest.h"

namespace Kalvoro {

TListedUnitTest::TListedUnitTest(TModule* aModule, std::string_view aName,
                                 const std::vector<std::string>& aMethods)
    : TUnitTestBase(aModule) {
  SetName(aName);
  const auto Code = static_cast<void (TUnitTestBase::*)()>(&TListedUnitTest::NotHere);
  for (const std::string& Method : aMethods)
    RegisterMethod(TUnitTestProc{this, Code}, Method);
}

void TListedUnitTest::NotHere() {
  if (!FMissing.empty())
    throw Exception(FMissing);
  throw Exception("The unit test \"" + Name() +
                  "\" was listed by a test process; its code is not loaded here");
}

} // namespace Kalvoro
