#include "KindLister.h"

#include "ListedIdentity.h"
#include "ModuleKind.h"
#include "ModuleLoadText.h"
#include "Sanitizer.h"

namespace Kalvoro {

ITestKind* TKindLister::KindFor(const std::string& aPath) {
  for (ITestKind* Kind : TestKinds())
    if (Kind->Recognises(aPath))
      return Kind;
  if (FGoogleTest.Recognises(aPath))
    return &FGoogleTest;
  if (FCatch2.Recognises(aPath))
    return &FCatch2;
  if (FDoctest.Recognises(aPath))
    return &FDoctest;
  return FKalvoro.Recognises(aPath) ? &FKalvoro : nullptr;
}

void TKindLister::List(TModule& aModule) {
  FKinds.erase(&aModule);
  FUnknown.erase(&aModule);
  FIdentities.erase(&aModule);
  FSanitizers.erase(&aModule);
  const std::string Path = aModule.LoadPath();
  ITestKind* const Kind = KindFor(Path);
  if (Kind == nullptr) {
    // Never run to find out what it is: a program may run its whole suite
    // on an option it does not know.
    FUnknown[&aModule] = std::string(ModuleKindText(TModuleKind::TestProgram));
    aModule.FailListing(msLoadFailed, TestProgramRefusal);
    throw TModuleException(LoadFailure(aModule.FullFileName()));
  }
  FKinds[&aModule] = Kind;
  if (const unsigned Sanitizers = Kind == &FKalvoro ? SanitizerNeeds(Path).Sanitizers : 0)
    FSanitizers[&aModule] = SanitizerNames(Sanitizers, true);
  IModuleLister* const Lister =
      Kind == &FKalvoro && FKalvoroLister != nullptr ? FKalvoroLister : Kind;
  // The identity is taken before the listing: a file written over while it
  // is listed then reads as changed, never the other way round.
  TModuleFileIdentity Identity;
  const bool Known = ModuleFileIdentity(Path, Identity);
  Lister->List(aModule);
  if (Known && aModule.Listed())
    FIdentities[&aModule] = Identity;
}

const TModuleFileIdentity* TKindLister::ListedIdentity(const TModule& aModule) const {
  const auto Found = FIdentities.find(&aModule);
  return Found == FIdentities.end() ? nullptr : &Found->second;
}

bool ListingOutOfDate(const TModule& aModule) {
  const auto* Lister = dynamic_cast<const TKindLister*>(ModuleLister());
  const TModuleFileIdentity* Listed = Lister != nullptr ? Lister->ListedIdentity(aModule) : nullptr;
  if (Listed == nullptr)
    return false;
  TModuleFileIdentity Now;
  return !ModuleFileIdentity(aModule.LoadPath(), Now) || Now != *Listed;
}

void TKindLister::Expect(const std::vector<const TModule*>& aModules) {
  if (FKalvoroLister != nullptr)
    return FKalvoroLister->Expect(aModules);
  std::vector<const TModule*> Kalvoro;
  for (const TModule* Module : aModules)
    if (KindFor(Module->LoadPath()) == &FKalvoro)
      Kalvoro.push_back(Module);
  FKalvoro.Hosts().Expect(Kalvoro);
}

void TKindLister::Forget(const TModule& aModule) {
  FUnknown.erase(&aModule);
  FIdentities.erase(&aModule);
  FSanitizers.erase(&aModule);
  const auto Found = FKinds.find(&aModule);
  if (Found == FKinds.end())
    return;
  ITestKind* const Kind = Found->second;
  FKinds.erase(Found);
  IModuleLister* const Lister =
      Kind == &FKalvoro && FKalvoroLister != nullptr ? FKalvoroLister : Kind;
  Lister->Forget(aModule);
}

ITestKind* TKindLister::KindOf(const TModule& aModule) const {
  const auto Found = FKinds.find(&aModule);
  return Found == FKinds.end() ? nullptr : Found->second;
}

std::string TKindLister::KindName(const TModule& aModule) const {
  if (const ITestKind* Kind = KindOf(aModule)) {
    const auto Sanitizers = FSanitizers.find(&aModule);
    return Sanitizers == FSanitizers.end() ? Kind->Name()
                                           : Kind->Name() + " (" + Sanitizers->second + ")";
  }
  const auto Unknown = FUnknown.find(&aModule);
  return Unknown == FUnknown.end() ? std::string() : Unknown->second;
}

std::string ModuleKindName(const TModule& aModule) {
  const auto* Lister = dynamic_cast<const TKindLister*>(ModuleLister());
  return Lister != nullptr ? Lister->KindName(aModule) : std::string();
}

} // namespace Kalvoro
