#include "KalvoroKind.h"

#include "HostRunner.h"
#include "ModuleKind.h"

namespace Kalvoro {

bool TKalvoroKind::Recognises(const std::string& aPath) const {
  return ModuleKindOf(aPath) == TModuleKind::KalvoroModule;
}

std::unique_ptr<IKindRunner> TKalvoroKind::MakeRunner(const TWaitHook& aWait) {
  auto Runner = std::make_unique<THostRunner>(aWait);
  Runner->SetLister(&FHosts);
  return Runner;
}

} // namespace Kalvoro
