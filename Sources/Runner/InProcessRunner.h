// Runs a scenario in this process. Where its unit tests are a host's
// descriptions (the program lists its modules in hosts), each listed module
// is loaded here when the run starts, only while its file is the one that
// was listed, and unloaded when the run ends; each description's method
// runs as its module's unit test in the description's scenario, and takes
// its result. Unit tests loaded here already run as they are.
#pragma once

#include "TestKind.h"
#include "UnitTestBase.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace Kalvoro {

class THostLister;

// The runner of the Kalvoro kind in process.
class TInProcessRunner : public IKindRunner {
public:
  // aLister: the lister whose listings say which file each module must be;
  // null takes the process's lister, if it is a host lister.
  explicit TInProcessRunner(THostLister* aLister = nullptr);
  ~TInProcessRunner() override;
  TInProcessRunner(const TInProcessRunner&) = delete;
  TInProcessRunner& operator=(const TInProcessRunner&) = delete;

  // Loads the scenario's listed modules, runs aRun (the scenario's Run
  // unless given) with this runner set on the scenario, and unloads them.
  void Run(TTestScenario& aScenario, const std::function<void()>& aRun = {});

  // The same, in parts, for a run of several kinds: Begin loads the listed
  // modules of aPlan's methods; they stay loaded until this runner ends.
  void Begin(TTestScenario& aScenario, const std::vector<TPlannedMethod>& aPlan) override;
  void End(bool) override {}
  // A method that runs here cannot be ended from outside: both stops end
  // the run after it.
  void Stop() override { FStop = true; }
  void StopNow() override { FStop = true; }
  bool StopRequested() const override;

  void RunMethod(TUnitTestBase& aUnitTest, int aMethodIndex) override;

private:
  struct TLoaded {
    std::unique_ptr<TModule> Module;
    std::string Problem; // why it could not be loaded; its methods end with it
  };
  void Load(const TModule& aListed);
  // Loads aUnitTest's module for the run where it is listed and not loaded
  // yet; true when it is listed.
  bool LoadFor(const TUnitTestBase& aUnitTest);
  void UnloadAll();

  THostLister* FLister;
  std::map<const TModule*, TLoaded> FLoaded;
  bool FStop = false;
};

} // namespace Kalvoro
