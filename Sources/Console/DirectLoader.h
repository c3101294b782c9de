// How the console loads modules when it runs in process: into this process
// directly, with no trial process and no host. A module's start-up runs
// inside the dynamic loader, where no crash can be jumped out of: a crash or
// an exit there ends the program at once, with a text that names the module
// and exit code 2 (never 0); runs in hosts go on past such a module.
#pragma once

#include "ModuleLister.h"

namespace Kalvoro {

class TDirectLoader : public IModuleLister {
public:
  // Switches the load trials off while it lives: the modules, loaded and
  // unloaded, are this run's own.
  TDirectLoader();
  ~TDirectLoader() override;
  TDirectLoader(const TDirectLoader&) = delete;
  TDirectLoader& operator=(const TDirectLoader&) = delete;
  void List(TModule& aModule) override;
  void Forget(const TModule& /*aModule*/) override {}

private:
  bool FTrialsBefore;
};

} // namespace Kalvoro
