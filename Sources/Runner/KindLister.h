// The programs' lister (ModuleLister.h): lists each module through its kind,
// read from the file's bytes at each listing and never saved. The registered
// kinds are asked first, then the test programs of other frameworks, then
// Kalvoro's own; an executable that no kind recognises is refused with the
// reason and never run.
#pragma once

#include "Foreign/Catch2Kind.h"
#include "Foreign/DoctestKind.h"
#include "Foreign/GoogleTestKind.h"
#include "KalvoroKind.h"

#include <map>
#include <string>

namespace Kalvoro {

class TKindLister final : public IModuleLister {
public:
  explicit TKindLister(TWaitHook aWait = PollWait) : FKalvoro(std::move(aWait)) {}

  void List(TModule& aModule) override;
  void Forget(const TModule& aModule) override;
  // The Kalvoro modules among aModules are announced to the hosts' lister.
  void Expect(const std::vector<const TModule*>& aModules) override;

  // The kind that listed aModule last (also when the listing failed); null
  // when none did (a file of no known kind, or a module never listed).
  ITestKind* KindOf(const TModule& aModule) const;
  // Its name as the modules view shows it, with the sanitizers a Kalvoro
  // module is built with ("Kalvoro module (ASan, UBSan)"); empty when it has none.
  std::string KindName(const TModule& aModule) const;
  // The file as its last listing found it; null where it was not listed.
  const TModuleFileIdentity* ListedIdentity(const TModule& aModule) const;

  TKalvoroKind& Kalvoro() { return FKalvoro; }
  // Kalvoro modules are listed by aLister instead of a host (the console's
  // run in process loads them here); null: by hosts again. Not owned.
  void SetKalvoroLister(IModuleLister* aLister) { FKalvoroLister = aLister; }
  // Ends the hosts that wait for a plan (a project closes).
  void EndHosts() { FKalvoro.Hosts().EndHosts(); }

private:
  // The kind of the file at aPath; null for an executable of no known kind.
  ITestKind* KindFor(const std::string& aPath);

  TKalvoroKind FKalvoro;
  TGoogleTestKind FGoogleTest;
  TCatch2Kind FCatch2;
  TDoctestKind FDoctest;
  IModuleLister* FKalvoroLister = nullptr;
  std::map<const TModule*, ITestKind*> FKinds;
  std::map<const TModule*, std::string> FUnknown;    // the kind text of a refused file
  std::map<const TModule*, std::string> FSanitizers; // of Kalvoro modules built with them
  std::map<const TModule*, TModuleFileIdentity> FIdentities;
};

// The kind name of aModule as the process's lister knows it: empty when the
// process lists no kinds (it loads modules itself).
std::string ModuleKindName(const TModule& aModule);

} // namespace Kalvoro
