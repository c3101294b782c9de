// The per-module half of the framework: the registry of unit-test classes and
// the entry points EnumRegisteredUnitTests and KalvoroModuleAbiVersion. This
// unit is linked into every module with hidden visibility.
#include "UnitTest.h"

#include <memory>
#include <vector>

namespace Kalvoro {

namespace {

// Created by the first registration; destroyed by the module's shut-down.
std::vector<TUnitTestClassItem>* UnitTestRegistry = nullptr;

struct TRegistryShutdown {
  ~TRegistryShutdown() { DestroyUnitTestRegistry(); }
} RegistryShutdown;

void AddEntry(const TUnitTestClassItem& aItem) {
  if (UnitTestRegistry == nullptr)
    UnitTestRegistry = new std::vector<TUnitTestClassItem>;
  UnitTestRegistry->push_back(aItem);
}

} // namespace

void RegisterUnitTest(const TUnitTestBaseClass& aUnitTestClass) {
  AddEntry(TUnitTestClassItem{aUnitTestClass, TFixtureBaseClass{nullptr}, false});
}

void RegisterUnitTestWithFixture(const TUnitTestBaseClass& aUnitTestClass,
                                 const TFixtureBaseClass& aFixtureClass) {
  AddEntry(TUnitTestClassItem{aUnitTestClass, aFixtureClass, true});
}

int RegisteredUnitTestCount() {
  return UnitTestRegistry == nullptr ? 0 : static_cast<int>(UnitTestRegistry->size());
}

void DestroyUnitTestRegistry() {
  delete UnitTestRegistry;
  UnitTestRegistry = nullptr;
}

} // namespace Kalvoro

extern "C" void EnumRegisteredUnitTests(Kalvoro::TEnumUnitTestProc aProc, void* aInfo) {
  using namespace Kalvoro;
  if (UnitTestRegistry == nullptr || !aProc.HasMethod())
    return;
  // The count is taken once; entries added meanwhile are not enumerated. The
  // entries are copied first, as a callback may register further classes.
  const std::size_t Count = UnitTestRegistry->size();
  for (std::size_t Index = 0; Index < Count && UnitTestRegistry != nullptr; ++Index) {
    const TUnitTestClassItem Item = (*UnitTestRegistry)[Index];
    aProc.Code(aProc.Object, &Item.UnitTestClass, Item.HasFixture ? &Item.FixtureClass : nullptr,
               aInfo);
  }
}

extern "C" unsigned KalvoroModuleAbiVersion() {
  return Kalvoro::KalvoroAbiVersion;
}
