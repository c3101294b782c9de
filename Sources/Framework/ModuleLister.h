// Where a program lists its modules when it does not load their code itself.
//
// A program that runs its tests in run hosts installs a lister: a module's
// LoadModule then asks it for the module's unit tests instead of mapping the
// file here, and the lister hands back descriptions (unit tests whose
// methods have names but no code here) through TModule::AdoptListing. Without
// one, LoadModule loads the file into this process, as a program that loads
// modules itself expects.
#pragma once

#include "Export.h"

#include <vector>

namespace Kalvoro {

class TModule;

class KALVORO_API IModuleLister {
public:
  virtual ~IModuleLister() = default;
  // Lists aModule's file: calls aModule.AdoptListing, or raises the error
  // that loading the file would have raised (after aModule.FailListing).
  virtual void List(TModule& aModule) = 0;
  // aModule forgets its listing (it unloads or is destroyed): whatever holds
  // its file for it lets go.
  virtual void Forget(const TModule& aModule) = 0;
  // The modules that are about to be listed, in the order their LoadModule
  // will be called (a project opens): a lister may start on the next one
  // while the program takes in the one before. A hint: a List that does not
  // follow it is served as any other.
  virtual void Expect(const std::vector<const TModule*>& /*aModules*/) {}
};

// The lister of this process, or null (modules load here). Not owned.
KALVORO_API IModuleLister* ModuleLister();
KALVORO_API void SetModuleLister(IModuleLister* aLister);
// Tells the process's lister, if any, the modules about to be listed in turn.
KALVORO_API void ExpectListings(const std::vector<const TModule*>& aModules);

// Installs a lister for its lifetime and puts back the one before.
class TModuleListerScope {
public:
  explicit TModuleListerScope(IModuleLister* aLister) : FBefore(ModuleLister()) {
    SetModuleLister(aLister);
  }
  ~TModuleListerScope() { SetModuleLister(FBefore); }
  TModuleListerScope(const TModuleListerScope&) = delete;
  TModuleListerScope& operator=(const TModuleListerScope&) = delete;

private:
  IModuleLister* FBefore;
};

} // namespace Kalvoro
