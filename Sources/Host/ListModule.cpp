#include "ListModule.h"

#include "CrashGuard.h"
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

} // namespace

bool ListModule(TRunnerChannel& aChannel, TLoadedModules& aModules,
                const THostListRequest& aRequest) {
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
  if (!Crash.empty()) {
    Listing.State = msLoadFailed;
    Listing.Error = LoadFailure(aRequest.FileName);
    Listing.LoaderError = Crash;
  } else if (Module->State() == msLoadSuccess) {
    Listing.Identity = Module->LoadedIdentity();
    Describe(*Module, Listing);
    aModules[Path].Module = std::move(Module);
  } else {
    Listing.State = Module->State();
    Listing.LoaderError = Module->LoaderError();
  }
  WriteListing(aChannel.Frames(), Listing);
  return Crash.empty();
}

} // namespace Kalvoro
