#include "ModulesController.h"

#include "Project.h"

namespace Kalvoro {

bool TModulesController::CanRemove(const TModule* aCurrent) const {
  return FProject != nullptr && aCurrent != nullptr;
}

bool TModulesController::CanLoad(const TModule* aCurrent) const {
  return CanRemove(aCurrent) &&
         (aCurrent->State() == msNotLoaded || aCurrent->State() == msLoadFailed);
}

bool TModulesController::CanUnload(const TModule* aCurrent) const {
  return CanRemove(aCurrent) && aCurrent->State() == msLoadSuccess;
}

bool TModulesController::Add(const std::string& aFileName) {
  if (FProject == nullptr || FProject->Modules().FindByFileName(aFileName) != nullptr)
    return false;
  FProject->SetModified();
  TModule* Module = FProject->Modules().AddByFileName(aFileName);
  if (Module->LoadModule()) {
    for (const TUnitTestBase* UnitTest : Module->UnitTestList())
      Module->Assignments().push_back(UnitTest->Name() + "|" + std::string(DefaultScenarioName) +
                                      "|ENABLED");
    // A project without "Default Scenario" leaves the unit tests unassigned,
    // which is no reason for a message here.
    std::string Discarded;
    FProject->LoadAssignments(Module, Discarded);
  }
  return true;
}

void TModulesController::Remove(TModule* aModule) {
  if (!CanRemove(aModule))
    return;
  FProject->SetModified();
  FProject->Modules().Remove(aModule);
}

std::optional<std::string> TModulesController::Load(TModule* aModule) {
  if (!CanRemove(aModule))
    return std::nullopt;
  FProject->SetModified();
  if (!aModule->LoadModule())
    return std::nullopt;
  std::string Report;
  if (FProject->LoadAssignments(aModule, Report))
    return std::nullopt;
  return Report;
}

void TModulesController::Unload(TModule* aModule) {
  if (!CanRemove(aModule))
    return;
  FProject->SetModified();
  aModule->UnloadModule();
}

void TModulesController::RemoveAll() {
  if (FProject == nullptr)
    return;
  FProject->SetModified();
  FProject->Modules().Clear();
}

std::optional<std::string> TModulesController::LoadAll() {
  if (FProject == nullptr)
    return std::nullopt;
  std::string Collected;
  bool Failed = false;
  for (TModule* Module : FProject->Modules()) {
    if (!Module->LoadModule())
      continue;
    FProject->SetModified();
    std::string Report;
    if (!FProject->LoadAssignments(Module, Report)) {
      Failed = true;
      Collected += Report;
    }
  }
  if (!Failed)
    return std::nullopt;
  return Collected;
}

void TModulesController::UnloadAll() {
  if (FProject == nullptr)
    return;
  for (TModule* Module : FProject->Modules()) {
    FProject->SetModified();
    Module->UnloadModule();
  }
}

} // namespace Kalvoro
