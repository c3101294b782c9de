#include "InProcessRunner.h"

#include "HostLister.h"
#include "ListedUnitTest.h"
#include "ModuleLister.h"
#include "ModuleLoadText.h"
#include "ModuleTrial.h"
#include "Sanitizer.h"

#include "Interruption.h"

namespace Kalvoro {

namespace {
// The file was listed by a host, which ran its start-up: it loads here
// without a trial of its own, and its shut-down is not tried either.
class TNoTrials {
public:
  TNoTrials() : FBefore(LoadTrialsEnabled()) { SetLoadTrialsEnabled(false); }
  ~TNoTrials() { SetLoadTrialsEnabled(FBefore); }
  TNoTrials(const TNoTrials&) = delete;
  TNoTrials& operator=(const TNoTrials&) = delete;

private:
  bool FBefore;
};
} // namespace

TInProcessRunner::TInProcessRunner(THostLister* aLister)
    : FLister(aLister != nullptr ? aLister : dynamic_cast<THostLister*>(ModuleLister())) {}

bool TInProcessRunner::StopRequested() const {
  return FStop || InterruptSignal() != 0;
}

TInProcessRunner::~TInProcessRunner() {
  UnloadAll();
}

void TInProcessRunner::Load(const TModule& aListed) {
  TLoaded& Loaded = FLoaded[&aListed];
  const TModuleFileIdentity* Listed = FLister != nullptr ? FLister->Identity(aListed) : nullptr;
  TModuleFileIdentity Now;
  if (Listed == nullptr || !ModuleFileIdentity(aListed.LoadPath(), Now) || Now != *Listed) {
    Loaded.Problem = ModuleFileChangedText;
    return;
  }
  // A sanitizer's runtime must be in the process from its start.
  Loaded.Problem = InProcessRefusal(aListed.LoadPath());
  if (!Loaded.Problem.empty())
    return;
  auto Module = std::make_unique<TModule>(aListed.FullFileName());
  Module->SetBaseDirectory(aListed.BaseDirectory());
  const TModuleListerScope Here(nullptr);
  const TNoTrials NoTrials;
  try {
    Module->LoadModule();
  } catch (const std::exception& Error) {
    Loaded.Problem = LoadProblem(Error.what(), Module->LoaderError());
    return;
  }
  if (Module->LoadedIdentity() != *Listed) {
    Loaded.Problem = ModuleFileChangedText;
    return;
  }
  Loaded.Module = std::move(Module);
}

void TInProcessRunner::UnloadAll() {
  const TModuleListerScope Here(nullptr);
  const TNoTrials NoTrials;
  for (auto& [Listed, Loaded] : FLoaded) {
    try {
      if (Loaded.Module)
        Loaded.Module->UnloadModule();
    } catch (...) {
      // A shut-down that fails leaves its library mapped; the run is over.
    }
  }
  FLoaded.clear();
}

bool TInProcessRunner::LoadFor(const TUnitTestBase& aUnitTest) {
  const TModule* Module = aUnitTest.Module();
  if (Module == nullptr || !Module->Listed())
    return false;
  if (FLoaded.count(Module) == 0)
    Load(*Module);
  return true;
}

void TInProcessRunner::Begin(TTestScenario&, const std::vector<TPlannedMethod>& aPlan) {
  FStop = false;
  for (const TPlannedMethod& Planned : aPlan)
    LoadFor(*Planned.UnitTest);
}

void TInProcessRunner::Run(TTestScenario& aScenario, const std::function<void()>& aRun) {
  bool AnyListed = false;
  for (const TUnitTestBase* UnitTest : aScenario.UnitTestList())
    if (UnitTest->Enabled() && LoadFor(*UnitTest))
      AnyListed = true;
  TMethodRunner* const Before = aScenario.MethodRunner();
  if (AnyListed || !FLoaded.empty())
    aScenario.SetMethodRunner(this);
  try {
    if (aRun)
      aRun();
    else
      aScenario.Run();
  } catch (...) {
    aScenario.SetMethodRunner(Before);
    throw;
  }
  aScenario.SetMethodRunner(Before);
}

void TInProcessRunner::RunMethod(TUnitTestBase& aUnitTest, int aMethodIndex) {
  TUnitTestMethod* Described = aUnitTest.Methods().GetItem(aMethodIndex);
  const TModule* Module = aUnitTest.Module();
  const auto Found = Module != nullptr ? FLoaded.find(Module) : FLoaded.end();
  if (Found == FLoaded.end()) {
    // Loaded here already (or a module the run did not load): it runs as
    // it is.
    aUnitTest.RunMethod(Described);
    return;
  }
  TLoaded& Loaded = Found->second;
  TUnitTestBase* Real = nullptr;
  if (Loaded.Module) {
    const int Index = Module->UnitTestList().IndexOf(&aUnitTest);
    const TUnitTestList& Units = Loaded.Module->UnitTestList();
    Real = Index >= 0 && Index < Units.Count() && Units.GetItem(Index)->Name() == aUnitTest.Name()
               ? Units.GetItem(Index)
               : Units.FindByName(aUnitTest.Name());
    if (Real != nullptr && aMethodIndex >= Real->Methods().Count())
      Real = nullptr;
  }
  if (Real == nullptr) {
    // The description runs in place: its method raises why it cannot run.
    if (auto* Listed = dynamic_cast<TListedUnitTest*>(&aUnitTest))
      Listed->SetMissing(Loaded.Problem.empty() ? "The module no longer has this unit test"
                                                : Loaded.Problem);
    aUnitTest.RunMethod(Described);
    return;
  }
  Real->SetTestScenario(aUnitTest.TestScenario());
  try {
    Real->RunMethodAt(aMethodIndex);
  } catch (...) {
    Real->SetTestScenario(nullptr);
    Described->SetTestResult(Real->Methods().GetItem(aMethodIndex)->TestResult());
    throw;
  }
  Real->SetTestScenario(nullptr);
  Described->SetTestResult(Real->Methods().GetItem(aMethodIndex)->TestResult());
}

} // namespace Kalvoro
