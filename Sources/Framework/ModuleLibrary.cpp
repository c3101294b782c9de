// A module's file and library: opening, loading and releasing it, with its
// start-up and shut-down tried first (ModuleTrial.h) and module code run
// under the crash guard.
#include "ModuleLibrary.h"

#include "UnitTestBase.h"

#include "CrashGuard.h"
#include "ModuleFile.h"
#include "ModuleLoading.h"
#include "ModuleNames.h"
#include "ModuleTrial.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <exception>
#include <string>
#include <vector>

namespace Kalvoro {

TModuleType TModuleLibrary::TypeOf(const std::string& aFileName) {
  const std::string Extension = UpperExtension(aFileName);
  // ".so" is this platform's own name for a plain library; ".DLL" is kept.
  if (Extension == ".BPL")
    return ptPackage;
  if (Extension == ".DLL" || Extension == ".SO")
    return ptLibrary;
  return ptUnknown;
}

std::string TModuleLibrary::LoadPath(const TModule& aModule) {
  const std::string& FileName = aModule.FullFileName();
  const std::string& Base = aModule.BaseDirectory();
  if (FileName.empty() || FileName.front() == '/')
    return FileName;
  if (Base.empty()) {
    // A bare file name names a file here, not a library on the search path.
    return FileName.find('/') == std::string::npos ? "./" + FileName : FileName;
  }
  std::string Path = Base;
  if (Path.back() != '/')
    Path += '/';
  return Path + FileName;
}

void TModuleLibrary::CloseFile() {
  if (FModule.FFile >= 0)
    ::close(FModule.FFile);
  FModule.FFile = -1;
  FModule.FLoadedIdentity = {};
}

bool TModuleLibrary::MappedFileChanged(const TModule& aModule) {
  struct stat Status {};
  return aModule.FHandle != nullptr && aModule.FFile >= 0 && ::fstat(aModule.FFile, &Status) == 0 &&
         IdentityOf(Status) != aModule.FLoadedIdentity;
}

bool TModuleLibrary::FileChangedSinceLoad(const TModule& aModule) {
  TModuleFileIdentity Now;
  return aModule.FHandle != nullptr &&
         (!ModuleFileIdentity(aModule.LoadPath(), Now) || Now != aModule.FLoadedIdentity);
}

void TModuleLibrary::AbandonMapped() {
  // Neither the unit tests' destructors nor the library's shut-down run: they
  // are the module's code, which is no longer what loaded (a file cut short
  // ends every access past its new end with SIGBUS). The unit tests leave
  // their scenarios and are left as they are; the library stays mapped, and
  // the process ends before the loader would run its destructors at exit.
  LeaveScenarios(FModule.FUnitTestList);
  FModule.FUnitTestList.Forget();
  EndProcessBeforeMappedModules();
  CloseFile();
  FModule.FHandle = nullptr;
  FModule.FState = msNotLoaded;
}

void* TModuleLibrary::Open() {
  const std::string& FileName = FModule.FFullFileName;
  std::string& LoaderError = FModule.FLoaderError;
  int& File = FModule.FFile;
  LoaderError.clear();
  const std::string Path = FModule.LoadPath();
  // The file is opened once and checked through its descriptor, and the
  // loader reads it through that descriptor, so that what was checked is
  // what loads. The descriptor stays open while the library is loaded: its
  // path names this library only, and a reload opens the file anew (a
  // rebuilt module is picked up).
  CloseFile();
  struct stat Status {};
  File = OpenModuleFile(Path, LoaderError, Status);
  if (File < 0 && FModule.FModuleType == ptPackage)
    throw TModuleException("Unable to load package \"" + FileName + "\"\r" + LoaderError);
  if (File < 0)
    throw TModuleException(LoadFailure(FileName));
  std::string Name = DescriptorPath(File);
  for (int Tries = 0; Tries < 16 && NameTaken(Name); ++Tries) {
    const int Other = ::fcntl(File, F_DUPFD_CLOEXEC, File + 1);
    if (Other < 0)
      break;
    CloseFile();
    File = Other;
    Name = DescriptorPath(File);
  }
  // What the file is as it loads: a file written over later is told apart.
  FModule.FLoadedIdentity = IdentityOf(Status);
  // The library's start-up runs inside dlopen under the loader's lock, where
  // no crash can be jumped out of: it is tried in a child process first
  // (ModuleTrial.h), and a start-up that crashes there is not run here.
  LoaderError = TryStartUp(Name, ModuleOpenFlags);
  if (!LoaderError.empty()) {
    CloseFile();
    throw TModuleException(LoadFailure(FileName));
  }
  void* Handle = dlopen(Name.c_str(), ModuleOpenFlags);
  if (Handle != nullptr)
    NameHanded(Name);
  if (Handle == nullptr) {
    LoaderError = WithFileName(LastDlError(), Name, Path);
    CloseFile();
  }
  if (FModule.FModuleType != ptPackage)
    return Handle;
  // The package loader: its failures are its own errors (the module's state
  // becomes msLoadFailed, as for a library); it runs the package's start-up
  // after mapping it.
  return StartPackage(Handle, FileName, LoaderError);
}

void TModuleLibrary::Abandon(TModuleState aState) {
  const std::string LoaderError = FModule.FLoaderError;
  CrashIn([this] { FModule.FUnitTestList.Clear(); });
  try {
    Release();
  } catch (...) {
    // A library that cannot be released stays mapped; the load failed anyway.
  }
  FModule.FLoaderError = LoaderError;
  FModule.FHandle = nullptr;
  FModule.FState = aState;
}

void TModuleLibrary::Load() {
  const std::string& FileName = FModule.FFullFileName;
  try {
    FModule.FHandle = Open();
  } catch (...) {
    // A package the loader refused has failed to load like a library.
    CloseFile();
    FModule.FState = msLoadFailed;
    throw;
  }
  if (FModule.FHandle == nullptr) {
    CloseFile();
    FModule.FState = msLoadFailed;
    throw TModuleException(LoadFailure(FileName));
  }
  // Every failure below lets go of the library and its unit tests (whose code
  // lives in it), so that a later load maps the file again, rebuilt or not.
  auto Entry = reinterpret_cast<TRegisterEntry>(dlsym(FModule.FHandle, "Register"));
  if (Entry == nullptr) {
    Abandon(msLoadFailed);
    throw TModuleException("Invalid module\rNo \"Register\" procedure in module \"" + FileName +
                           "\"");
  }
  // A module of another framework version would share objects of another
  // layout: refuse it before any of its code runs, and let go of it.
  auto AbiVersion =
      reinterpret_cast<TAbiVersionEntry>(dlsym(FModule.FHandle, "KalvoroModuleAbiVersion"));
  unsigned Version = 0;
  if (AbiVersion != nullptr) {
    std::string Crash;
    try {
      Crash = CrashIn([&] { Version = AbiVersion(); });
    } catch (...) {
      Version = 0;
    }
    if (!Crash.empty()) {
      // A crash in the module's code fails the load like a library that
      // cannot be mapped; the crash's text is the loader's.
      Abandon(msLoadFailed);
      FModule.FLoaderError = Crash;
      throw TModuleException(LoadFailure(FileName));
    }
  }
  if (Version != KalvoroAbiVersion) {
    Abandon(msLoadFailed);
    throw TModuleException("Invalid module\rModule \"" + FileName +
                           "\" was built for framework ABI version " +
                           (Version == 0 ? std::string("(none)") : std::to_string(Version)) +
                           "; this framework has version " + std::to_string(KalvoroAbiVersion));
  }
  Register(Entry);
  FModule.FState = msLoadSuccess;
}

void TModuleLibrary::Register(TRegisterEntry aRegister) {
  const std::string& FileName = FModule.FFullFileName;
  auto Enumerate = reinterpret_cast<TEnumRegisteredUnitTestsEntry>(
      dlsym(FModule.FHandle, "EnumRegisteredUnitTests"));
  // The module's own errors pass unchanged, unless their type is the
  // module's: then only their text outlives the release. The release waits
  // until the handler has ended, when the error object no longer needs the
  // module's code.
  std::exception_ptr Error;
  std::string ModuleError;
  std::string Crash;
  bool Failed = false;
  std::vector<TLongName> LongNames;
  FModule.FNameChanges.clear();
  try {
    Crash = CrashIn([&] {
      aRegister();
      if (Enumerate != nullptr) {
        TEnumUnitTestProc Proc;
        Proc.Object = &FModule;
        Proc.Code = [](void* aObject, const TUnitTestBaseClass* aUnitTestClass,
                       const TFixtureBaseClass* aFixtureClass, void* aInfo) {
          static_cast<TModule*>(aObject)->EnumUnitTestProc(aUnitTestClass, aFixtureClass, aInfo);
        };
        Enumerate(Proc, &LongNames);
      }
    });
  } catch (...) {
    Failed = true;
    if (CurrentErrorTypeLivesWith(reinterpret_cast<void*>(aRegister)))
      ModuleError = CurrentErrorMessage();
    else
      Error = std::current_exception();
  }
  if (!Crash.empty()) {
    Abandon(msLoadFailed);
    FModule.FLoaderError = Crash;
    throw TModuleException(LoadFailure(FileName));
  }
  if (Failed) {
    Abandon(msNotLoaded);
    if (Error)
      std::rethrow_exception(Error);
    throw Exception(ModuleError);
  }
  if (Enumerate == nullptr) {
    Abandon(msLoadFailed);
    throw TModuleException("Invalid module\rNo \"EnumRegisteredUnitTests\" procedure in module \"" +
                           FileName + "\"");
  }
  KeepNamesApart(FModule.FUnitTestList, LongNames, FModule.FNameChanges);
}

void TModuleLibrary::Release() {
  // Called while the module is loaded, after its unit tests were freed: a
  // crash in their destructors is the loader's error by then.
  std::string Crash;
  if (FModule.FModuleType == ptPackage) {
    // The package unloader runs the package's shut-down first.
    if (auto Finalize = reinterpret_cast<TPackageEntry>(dlsym(FModule.FHandle, "Finalize")))
      Crash = CrashIn(Finalize);
  }
  // The static destructors run inside dlclose, under the loader's lock: they
  // are tried in a child process first. A library whose shut-down crashes
  // there is not released; it stays mapped.
  const std::string ShutDown = TryShutDown(FModule.FHandle);
  const bool Refused = ShutDown.empty() && dlclose(FModule.FHandle) != 0;
  CloseFile();
  if (Refused)
    throw Exception(LastDlError());
  if (Crash.empty())
    Crash = ShutDown;
  if (!Crash.empty()) {
    FModule.FLoaderError = Crash;
    throw TModuleException(UnloadFailure(FModule.FFullFileName));
  }
}

void TModuleLibrary::Unload() {
  // A file written over in place (another build, or one cut short) has
  // taken the library's code and relocated data with it: its destructors and
  // the loader's shut-down would run other code, or fault past the file's
  // new end. A rewrite of the same size shows only in the modification
  // time, which a touch changes as well: both are taken for a rewrite.
  struct stat Status {};
  if (FModule.FFile >= 0 && ::fstat(FModule.FFile, &Status) == 0 &&
      (Status.st_size != FModule.FLoadedIdentity.Size ||
       IdentityOf(Status).Modified != FModule.FLoadedIdentity.Modified)) {
    AbandonMapped();
    FModule.FLoaderError = "The module file changed while it was loaded: its library stays "
                           "loaded until the program ends";
    throw TModuleException(UnloadFailure(FModule.FFullFileName));
  }
  // The unit tests' destructors are the module's code too; they leave their
  // scenarios first, all at once.
  LeaveScenarios(FModule.FUnitTestList);
  const std::string Crash = CrashIn([this] { DestroyUnitTests(FModule.FUnitTestList); });
  FModule.FLoaderError = Crash;
  try {
    Release();
  } catch (const TModuleException&) {
    // A crash while releasing: the library is let go of all the same.
    FModule.FHandle = nullptr;
    FModule.FState = msNotLoaded;
    throw;
  }
  FModule.FHandle = nullptr;
  FModule.FState = msNotLoaded;
  if (!Crash.empty()) {
    FModule.FLoaderError = Crash;
    throw TModuleException(UnloadFailure(FModule.FFullFileName));
  }
}

} // namespace Kalvoro
