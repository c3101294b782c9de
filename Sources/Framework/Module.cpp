// A test module: loads its file here (TModuleLibrary) or, where the program
// has a lister, takes a listing in its place (TModuleUnitTests), and unloads
// either.
#include "UnitTestBase.h"

#include "ModuleLibrary.h"
#include "ModuleLister.h"
#include "ModuleNames.h"
#include "ModuleUnitTests.h"

#include <utility>

namespace Kalvoro {

TModule::TModule(std::string aFileName)
    : FModuleType(TModuleLibrary::TypeOf(aFileName)), FFullFileName(std::move(aFileName)) {}

TModule::~TModule() {
  try {
    UnloadModule();
  } catch (...) {
    // A library that cannot be released stays mapped; nothing else to do here.
  }
  TModuleLibrary(*this).CloseFile();
  FUnitTestList.Clear();
  FAssignments.clear();
}

std::string TModule::GetFileName() const {
  const std::size_t Slash = FFullFileName.find_last_of('/');
  return CutName(Slash == std::string::npos ? FFullFileName : FFullFileName.substr(Slash + 1));
}

std::string TModule::GetPath() const {
  const std::size_t Slash = FFullFileName.find_last_of('/');
  return Slash == std::string::npos ? std::string() : FFullFileName.substr(0, Slash + 1);
}

std::string TModule::LoadPath() const {
  return TModuleLibrary::LoadPath(*this);
}

bool TModule::MappedFileChanged() const {
  return TModuleLibrary::MappedFileChanged(*this);
}

bool TModule::FileChangedSinceLoad() const {
  return TModuleLibrary::FileChangedSinceLoad(*this);
}

bool TModule::LoadModule() {
  if (FHandle != nullptr || FListed || FState == msLoadSuccess)
    return false;
  if (IModuleLister* Current = ModuleLister()) {
    FLoaderError.clear();
    FNameChanges.clear();
    Current->List(*this);
    return FState == msLoadSuccess;
  }
  TModuleLibrary(*this).Load();
  return true;
}

bool TModule::UnloadModule() {
  if (FListed) {
    TModuleUnitTests(*this).ForgetListing();
    return true;
  }
  if (FHandle == nullptr || FState != msLoadSuccess)
    return false;
  SaveAssignments();
  FLoaderError.clear();
  TModuleLibrary(*this).Unload();
  return true;
}

bool TModule::RelistModule(std::vector<std::string>& aReturning) {
  return TModuleUnitTests(*this).Relist(aReturning);
}

void TModule::AdoptListing(std::vector<TUnitTestBase*> aUnitTests,
                           std::vector<TNameChange> aChanges) {
  TModuleUnitTests(*this).Adopt(std::move(aUnitTests), std::move(aChanges));
}

void TModule::FailListing(TModuleState aState, std::string aLoaderError) {
  FUnitTestList.Clear();
  FListed = false;
  FState = aState;
  FLoaderError = std::move(aLoaderError);
}

void TModule::SaveAssignments() {
  TModuleUnitTests(*this).SaveAssignments();
}

void TModule::EnumUnitTestProc(const TUnitTestBaseClass* aUnitTestClass,
                               const TFixtureBaseClass* /*aFixtureClass*/, void* aInfo) {
  TModuleUnitTests(*this).Add(aUnitTestClass, aInfo);
}

} // namespace Kalvoro
