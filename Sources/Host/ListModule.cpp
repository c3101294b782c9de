#include "ListModule.h"

#include "CrashGuard.h"
#include "Descendants.h"
#include "ModuleLoadText.h"

#include <exception>

namespace Kalvoro {

namespace {

void Describe(const TModule& aModule, THostListing& aListing) {
  aListing.Listed = true;
  aListing.State = msLoadSuccess;
  for (const TUnitTestBase* UnitTest : aModule.UnitTestList()) {
    THostListedUnitTest& Listed = aListing.UnitTests.emplace_back();
    Listed.Name = UnitTest->Name();
    for (const TUnitTestMethod* Method : UnitTest->Methods())
      Listed.Methods.push_back(Method->Name());
  }
  aListing.NameChanges = aModule.NameChanges();
}

// Unloads a listed module, its shut-down guarded; false when that crashed.
bool Release(TModule& aModule) {
  try {
    RunGuarded([&] { aModule.UnloadModule(); });
  } catch (...) {
    return false;
  }
  return aModule.Handle() == nullptr;
}

} // namespace

bool ListModule(TRunnerChannel& aChannel, TLoadedModules& aModules,
                const THostListRequest& aRequest, bool aRelease) {
  auto Module = std::make_unique<TModule>(aRequest.FileName);
  Module->SetBaseDirectory(aRequest.BaseDirectory);
  const std::string Path = Module->LoadPath();
  THostListing Listing;
  std::string Crash;
  // The start-up runs here, guarded: a crash or an exit in it is this
  // listing's answer, and the host, whose loader may be left locked, ends
  // after it.
  try {
    RunGuarded([&] {
      try {
        Module->LoadModule();
      } catch (const TModuleException& Error) {
        Listing.Error = Error.what();
      } catch (const std::exception& Error) {
        Listing.LoaderException = false;
        Listing.Error = Error.what();
      } catch (...) {
        Listing.LoaderException = false;
        Listing.Error = "The module raised an error without a message";
      }
    });
  } catch (const std::exception& Error) {
    Crash = Error.what();
  }
  // What the start-up left behind, looked at once, before any unload: the
  // thread of a module kept mapped may still be on its way through the
  // module's code, which an unload would pull from under it (the host then
  // crashed now and then). Such a module stays mapped; the host retires
  // after the listing.
  const bool Left = Crash.empty() && LeftSomethingBehind();
  if (!Crash.empty()) {
    Listing.State = msLoadFailed;
    Listing.Error = LoadFailure(aRequest.FileName);
    Listing.LoaderError = Crash;
  } else if (Module->State() == msLoadSuccess) {
    Listing.Identity = Module->LoadedIdentity();
    Describe(*Module, Listing);
    if (aRelease && !Left && !Release(*Module)) {
      // Its shut-down crashed: the listing stands, and the host, whose
      // loader may be left locked, retires after it. The module is left
      // as it is: destroying it would unload it again.
      WriteListing(aChannel.Frames(), Listing);
      (void)Module.release();
      return false;
    }
    // Kept even when released: a plan loads it again from the same file.
    aModules[Path].Module = std::move(Module);
  } else {
    Listing.State = Module->State();
    Listing.LoaderError = Module->LoaderError();
  }
  WriteListing(aChannel.Frames(), Listing);
  return Crash.empty() && !Left;
}

} // namespace Kalvoro
