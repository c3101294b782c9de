// A module of 10,000 unit tests with one method each, for timing the reload
// of a rebuilt module: one class registered under 10,000 names.
#include "UnitTest.h"

#include <string>
#include <vector>

namespace {

class TNumbered : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override { REGISTER_METHOD(TestOnly); }
  void TestOnly() { Check(true, "only"); }
};

// The names live as long as the module: the registry keeps the pointers.
const std::vector<std::string>& Names() {
  static const std::vector<std::string> Result = [] {
    std::vector<std::string> Names;
    for (int I = 0; I < 10000; ++I)
      Names.push_back("TNumbered" + std::to_string(I));
    return Names;
  }();
  return Result;
}

[[maybe_unused]] const bool Registered = [] {
  for (const std::string& Name : Names())
    ::Kalvoro::Detail::RegisterClass<TNumbered>(Name.c_str());
  return true;
}();

} // namespace

extern "C" KALVORO_EXPORT void Register() {}
