// Test modules: loading a module file, creating its unit tests, unloading it
// (or, where the program has a lister, taking a listing in place of a load).
#include "UnitTestBase.h"

#include "CrashGuard.h"
#include "ModuleFile.h"
#include "ModuleLister.h"
#include "ModuleLoading.h"
#include "ModuleNames.h"
#include "ModuleTrial.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace Kalvoro {

TModule::TModule(std::string aFileName) : FFullFileName(std::move(aFileName)) {
  const std::string Extension = UpperExtension(FFullFileName);
  // ".so" is this platform's own name for a plain library; ".DLL" is kept.
  if (Extension == ".BPL")
    FModuleType = ptPackage;
  else if (Extension == ".DLL" || Extension == ".SO")
    FModuleType = ptLibrary;
  else
    FModuleType = ptUnknown;
}

TModule::~TModule() {
  try {
    UnloadModule();
  } catch (...) {
    // A library that cannot be released stays mapped; nothing else to do here.
  }
  CloseFile();
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
  if (FFullFileName.empty() || FFullFileName.front() == '/')
    return FFullFileName;
  if (FBaseDirectory.empty()) {
    // A bare file name names a file here, not a library on the search path.
    return FFullFileName.find('/') == std::string::npos ? "./" + FFullFileName : FFullFileName;
  }
  std::string Path = FBaseDirectory;
  if (Path.back() != '/')
    Path += '/';
  return Path + FFullFileName;
}

void TModule::CloseFile() {
  if (FFile >= 0)
    ::close(FFile);
  FFile = -1;
  FLoadedIdentity = {};
}

bool TModule::MappedFileChanged() const {
  struct stat Status {};
  return FHandle != nullptr && FFile >= 0 && ::fstat(FFile, &Status) == 0 &&
         IdentityOf(Status) != FLoadedIdentity;
}

bool TModule::FileChangedSinceLoad() const {
  TModuleFileIdentity Now;
  return FHandle != nullptr && (!ModuleFileIdentity(LoadPath(), Now) || Now != FLoadedIdentity);
}

void TModule::AbandonMapped() {
  // Neither the unit tests' destructors nor the library's shut-down run: they
  // are the module's code, which is no longer what loaded (a file cut short
  // ends every access past its new end with SIGBUS). The unit tests leave
  // their scenarios and are left as they are; the library stays mapped, and
  // the process ends before the loader would run its destructors at exit.
  LeaveScenarios(FUnitTestList);
  FUnitTestList.Forget();
  EndProcessBeforeMappedModules();
  CloseFile();
  FHandle = nullptr;
  FState = msNotLoaded;
}

void* TModule::OpenLibrary() {
  FLoaderError.clear();
  const std::string Path = LoadPath();
  // The file is opened once and checked through its descriptor, and the
  // loader reads it through that descriptor, so that what was checked is
  // what loads. The descriptor stays open while the library is loaded: its
  // path names this library only, and a reload opens the file anew (a
  // rebuilt module is picked up).
  CloseFile();
  FFile = OpenModuleFile(Path, FLoaderError);
  if (FFile < 0 && FModuleType == ptPackage)
    throw TModuleException("Unable to load package \"" + FFullFileName + "\"\r" + FLoaderError);
  if (FFile < 0)
    throw TModuleException(LoadFailure(FFullFileName));
  std::string Name = DescriptorPath(FFile);
  for (int Tries = 0; Tries < 16 && NameTaken(Name); ++Tries) {
    const int Other = ::fcntl(FFile, F_DUPFD_CLOEXEC, FFile + 1);
    if (Other < 0)
      break;
    CloseFile();
    FFile = Other;
    Name = DescriptorPath(FFile);
  }
  // What the file is as it loads: a file written over later is told apart.
  struct stat Status {};
  if (::fstat(FFile, &Status) == 0)
    FLoadedIdentity = IdentityOf(Status);
  // The library's start-up runs inside dlopen under the loader's lock, where
  // no crash can be jumped out of: it is tried in a child process first
  // (ModuleTrial.h), and a start-up that crashes there is not run here.
  FLoaderError = TryStartUp(Name, ModuleOpenFlags);
  if (!FLoaderError.empty()) {
    CloseFile();
    throw TModuleException(LoadFailure(FFullFileName));
  }
  void* Handle = dlopen(Name.c_str(), ModuleOpenFlags);
  if (Handle == nullptr) {
    FLoaderError = WithFileName(LastDlError(), Name, Path);
    CloseFile();
  }
  if (FModuleType != ptPackage)
    return Handle;
  // The package loader: its failures are its own errors (the module's state
  // becomes msLoadFailed, as for a library); it runs the package's start-up
  // after mapping it.
  return StartPackage(Handle, FFullFileName, FLoaderError);
}

void TModule::AdoptListing(std::vector<TUnitTestBase*> aUnitTests,
                           std::vector<TNameChange> aChanges) {
  FUnitTestList.Clear();
  for (TUnitTestBase* UnitTest : aUnitTests)
    FUnitTestList.Add(UnitTest);
  FNameChanges = std::move(aChanges);
  FListed = true;
  FState = msLoadSuccess;
}

void TModule::FailListing(TModuleState aState, std::string aLoaderError) {
  FUnitTestList.Clear();
  FListed = false;
  FState = aState;
  FLoaderError = std::move(aLoaderError);
}

bool TModule::LoadModule() {
  if (FHandle != nullptr || FListed)
    return false;
  if (FState == msLoadSuccess)
    return false;
  if (IModuleLister* Current = ModuleLister()) {
    FLoaderError.clear();
    FNameChanges.clear();
    Current->List(*this);
    return FState == msLoadSuccess;
  }
  try {
    FHandle = OpenLibrary();
  } catch (...) {
    // A package the loader refused has failed to load like a library.
    CloseFile();
    FState = msLoadFailed;
    throw;
  }
  if (FHandle == nullptr) {
    CloseFile();
    FState = msLoadFailed;
    throw TModuleException(LoadFailure(FFullFileName));
  }
  // Every failure below lets go of the library and its unit tests (whose code
  // lives in it), so that a later load maps the file again, rebuilt or not.
  auto Abandon = [this](TModuleState aState) {
    const std::string LoaderError = FLoaderError;
    CrashIn([this] { FUnitTestList.Clear(); });
    try {
      ReleaseLibrary();
    } catch (...) {
      // A library that cannot be released stays mapped; the load failed anyway.
    }
    FLoaderError = LoaderError;
    FHandle = nullptr;
    FState = aState;
  };
  // A crash in the module's code below fails the load like a library that
  // cannot be mapped; the crash's text is the loader's.
  auto FailWithCrash = [&](const std::string& aCrash) {
    Abandon(msLoadFailed);
    FLoaderError = aCrash;
    throw TModuleException(LoadFailure(FFullFileName));
  };
  auto Register = reinterpret_cast<TRegisterEntry>(dlsym(FHandle, "Register"));
  if (Register == nullptr) {
    Abandon(msLoadFailed);
    throw TModuleException("Invalid module\rNo \"Register\" procedure in module \"" +
                           FFullFileName + "\"");
  }
  // A module of another framework version would share objects of another
  // layout: refuse it before any of its code runs, and let go of it.
  auto AbiVersion = reinterpret_cast<TAbiVersionEntry>(dlsym(FHandle, "KalvoroModuleAbiVersion"));
  unsigned Version = 0;
  if (AbiVersion != nullptr) {
    std::string Crash;
    try {
      Crash = CrashIn([&] { Version = AbiVersion(); });
    } catch (...) {
      Version = 0;
    }
    if (!Crash.empty())
      FailWithCrash(Crash);
  }
  if (Version != KalvoroAbiVersion) {
    Abandon(msLoadFailed);
    throw TModuleException("Invalid module\rModule \"" + FFullFileName +
                           "\" was built for framework ABI version " +
                           (Version == 0 ? std::string("(none)") : std::to_string(Version)) +
                           "; this framework has version " + std::to_string(KalvoroAbiVersion));
  }
  auto Enumerate =
      reinterpret_cast<TEnumRegisteredUnitTestsEntry>(dlsym(FHandle, "EnumRegisteredUnitTests"));
  // The module's own errors pass unchanged, unless their type is the
  // module's: then only their text outlives the release. The release waits
  // until the handler has ended, when the error object no longer needs the
  // module's code.
  std::exception_ptr Error;
  std::string ModuleError;
  std::string Crash;
  bool Failed = false;
  std::vector<TLongName> LongNames;
  FNameChanges.clear();
  try {
    Crash = CrashIn([&] {
      Register();
      if (Enumerate != nullptr) {
        TEnumUnitTestProc Proc;
        Proc.Object = this;
        Proc.Code = [](void* aObject, const TUnitTestBaseClass* aUnitTestClass,
                       const TFixtureBaseClass* aFixtureClass, void* aInfo) {
          static_cast<TModule*>(aObject)->EnumUnitTestProc(aUnitTestClass, aFixtureClass, aInfo);
        };
        Enumerate(Proc, &LongNames);
      }
    });
  } catch (...) {
    Failed = true;
    if (CurrentErrorTypeLivesWith(reinterpret_cast<void*>(Register)))
      ModuleError = CurrentErrorMessage();
    else
      Error = std::current_exception();
  }
  if (!Crash.empty())
    FailWithCrash(Crash);
  if (Failed) {
    Abandon(msNotLoaded);
    if (Error)
      std::rethrow_exception(Error);
    throw Exception(ModuleError);
  }
  if (Enumerate == nullptr) {
    Abandon(msLoadFailed);
    throw TModuleException("Invalid module\rNo \"EnumRegisteredUnitTests\" procedure in module \"" +
                           FFullFileName + "\"");
  }
  KeepNamesApart(FUnitTestList, LongNames, FNameChanges);
  FState = msLoadSuccess;
  return true;
}

void TModule::EnumUnitTestProc(const TUnitTestBaseClass* aUnitTestClass,
                               const TFixtureBaseClass* /*aFixtureClass*/, void* aInfo) {
  KALVORO_ASSERT(aUnitTestClass != nullptr && aUnitTestClass->Create != nullptr);
  const std::string_view Name =
      aUnitTestClass->Name != nullptr ? aUnitTestClass->Name : std::string_view();
  if (!IsAssignableName(Name)) {
    FNameChanges.push_back({CutName(Name), {}});
    return;
  }
  // Listed before its Register runs, so that a failed load frees it too, also
  // when a crash has skipped this frame.
  TUnitTestBase* UnitTest = aUnitTestClass->Create(this, aUnitTestClass->Name);
  FUnitTestList.Add(UnitTest);
  // LoadModule passes where the whole names of long ones go.
  if (Name.size() > MaxNameLength && aInfo != nullptr)
    static_cast<std::vector<TLongName>*>(aInfo)->push_back({UnitTest, std::string(Name)});
  UnitTest->Register();
}

void TModule::SaveAssignments() {
  FAssignments.clear();
  for (const TUnitTestBase* UnitTest : FUnitTestList)
    if (UnitTest->TestScenario() != nullptr)
      FAssignments.push_back(AssignmentLine(*UnitTest));
}

void TModule::ReleaseLibrary() {
  // Called by UnloadModule while the module is loaded, after its unit tests
  // were freed: a crash in their destructors is the loader's error by then.
  std::string Crash;
  if (FModuleType == ptPackage) {
    // The package unloader runs the package's shut-down first.
    if (auto Finalize = reinterpret_cast<TPackageEntry>(dlsym(FHandle, "Finalize")))
      Crash = CrashIn(Finalize);
  }
  // The static destructors run inside dlclose, under the loader's lock: they
  // are tried in a child process first. A library whose shut-down crashes
  // there is not released; it stays mapped.
  const std::string ShutDown = TryShutDown(FHandle);
  const bool Refused = ShutDown.empty() && dlclose(FHandle) != 0;
  CloseFile();
  if (Refused)
    throw Exception(LastDlError());
  if (Crash.empty())
    Crash = ShutDown;
  if (!Crash.empty()) {
    FLoaderError = Crash;
    throw TModuleException(UnloadFailure(FFullFileName));
  }
}

bool TModule::UnloadModule() {
  if (FListed) {
    // Descriptions hold no code: forgetting them unloads nothing here.
    SaveAssignments();
    LeaveScenarios(FUnitTestList);
    DestroyUnitTests(FUnitTestList);
    FListed = false;
    FState = msNotLoaded;
    FLoaderError.clear();
    if (IModuleLister* Current = ModuleLister())
      Current->Forget(*this);
    return true;
  }
  if (FHandle == nullptr || FState != msLoadSuccess)
    return false;
  SaveAssignments();
  FLoaderError.clear();
  // A file written over in place (another build, or one cut short) has
  // taken the library's code and relocated data with it: its destructors and
  // the loader's shut-down would run other code, or fault past the file's
  // new end. A rewrite of the same size shows only in the modification
  // time, which a touch changes as well: both are taken for a rewrite.
  struct stat Status {};
  if (FFile >= 0 && ::fstat(FFile, &Status) == 0 &&
      (Status.st_size != FLoadedIdentity.Size ||
       IdentityOf(Status).Modified != FLoadedIdentity.Modified)) {
    AbandonMapped();
    FLoaderError = "The module file changed while it was loaded: its library stays loaded "
                   "until the program ends";
    throw TModuleException(UnloadFailure(FFullFileName));
  }
  // The unit tests' destructors are the module's code too; they leave their
  // scenarios first, all at once.
  LeaveScenarios(FUnitTestList);
  const std::string Crash = CrashIn([this] { DestroyUnitTests(FUnitTestList); });
  FLoaderError = Crash;
  try {
    ReleaseLibrary();
  } catch (const TModuleException&) {
    // A crash while releasing: the library is let go of all the same.
    FHandle = nullptr;
    FState = msNotLoaded;
    throw;
  }
  FHandle = nullptr;
  FState = msNotLoaded;
  if (!Crash.empty()) {
    FLoaderError = Crash;
    throw TModuleException(UnloadFailure(FFullFileName));
  }
  return true;
}

} // namespace Kalvoro
