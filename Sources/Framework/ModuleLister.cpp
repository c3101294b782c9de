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

} // namespace Kalvoro
