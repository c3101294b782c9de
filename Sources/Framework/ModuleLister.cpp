#include "ModuleLister.h"

namespace Kalvoro {

namespace {
IModuleLister* Lister = nullptr;
} // namespace

IModuleLister* ModuleLister() {
  return Lister;
}

void SetModuleLister(IModuleLister* aLister) {
  Lister = aLister;
}

void ExpectListings(const std::vector<const TModule*>& aModules) {
  if (Lister != nullptr)
    Lister->Expect(aModules);
}

} // namespace Kalvoro
