// The kind of Kalvoro's own modules: shared libraries that a run host loads,
// lists and runs (HostLister.h, HostRunner.h). A module file of no other
// kind is taken for one; an executable is not one.
#pragma once

#include "HostLister.h"
#include "TestKind.h"

namespace Kalvoro {

class TKalvoroKind final : public ITestKind {
public:
  explicit TKalvoroKind(TWaitHook aWait = PollWait) : FHosts(std::move(aWait)) {}

  std::string Name() const override { return "Kalvoro module"; }
  bool Recognises(const std::string& aPath) const override;
  void List(TModule& aModule) override { FHosts.List(aModule); }
  void Forget(const TModule& aModule) override { FHosts.Forget(aModule); }
  std::unique_ptr<IKindRunner> MakeRunner(const TWaitHook& aWait) override;

  // The lister whose hosts listed the modules and wait to run them.
  THostLister& Hosts() { return FHosts; }

private:
  THostLister FHosts;
};

} // namespace Kalvoro
