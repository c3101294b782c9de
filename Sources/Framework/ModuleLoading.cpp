#include "ModuleLoading.h"

#include "ModuleTrial.h"
#include "UnitTestBase.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <stdlib.h>

#include <cctype>
#include <cstdio>

namespace Kalvoro {

std::string UpperExtension(const std::string& aFileName) {
  const std::size_t Slash = aFileName.find_last_of('/');
  const std::size_t Dot = aFileName.find_last_of('.');
  if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash))
    return {};
  std::string Extension = aFileName.substr(Dot);
  for (char& C : Extension)
    C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
  return Extension;
}

std::string LastDlError() {
  const char* Text = dlerror();
  return Text != nullptr ? Text : "";
}

bool CurrentErrorTypeLivesWith(void* aSymbol) {
  const std::type_info* Type = abi::__cxa_current_exception_type();
  Dl_info TypeInfo{};
  Dl_info SymbolInfo{};
  if (Type == nullptr || aSymbol == nullptr || dladdr(Type, &TypeInfo) == 0 ||
      dladdr(aSymbol, &SymbolInfo) == 0)
    return true;
  return TypeInfo.dli_fbase == SymbolInfo.dli_fbase;
}

std::string CurrentErrorMessage() {
  try {
    throw;
  } catch (const std::exception& Error) {
    return Error.what();
  } catch (...) {
    return "The module raised an error without a message";
  }
}

void EndProcessBeforeMappedModules() {
  static const bool Registered = on_exit(
                                     [](int aStatus, void*) {
                                       std::fflush(nullptr);
                                       EndProcessNow(aStatus);
                                     },
                                     nullptr) == 0;
  (void)Registered;
}

void* StartPackage(void* aHandle, const std::string& aFileName, std::string& aLoaderError) {
  const std::string Refused = "Unable to load package \"" + aFileName + "\"\r";
  if (aHandle == nullptr)
    throw TModuleException(Refused + aLoaderError);
  auto Initialize = reinterpret_cast<TPackageEntry>(dlsym(aHandle, "Initialize"));
  auto Finalize = reinterpret_cast<TPackageEntry>(dlsym(aHandle, "Finalize"));
  if (Initialize == nullptr || Finalize == nullptr) {
    dlclose(aHandle);
    throw TModuleException(Refused + "No \"Initialize\" or \"Finalize\" entry in package");
  }
  // A package whose start-up fails is not kept. Its error may be of a type
  // that lives in the package, so only its text outlives the release.
  std::string Error;
  std::string Crash;
  try {
    Crash = CrashIn(Initialize);
    if (Crash.empty())
      return aHandle;
  } catch (const std::exception& Raised) {
    Error = Raised.what();
  } catch (...) {
    Error = "Its start-up raised an error without a message";
  }
  // The shut-down of a package whose start-up broke is tried first as well.
  if (TryShutDown(aHandle).empty())
    dlclose(aHandle);
  if (!Crash.empty()) {
    aLoaderError = Crash;
    throw TModuleException(LoadFailure(aFileName));
  }
  throw TModuleException(Refused + Error);
}

} // namespace Kalvoro
