// A module's file and library: the file opened once and kept open while its
// library is loaded, the trial of its start-up, dlopen and dlclose, the
// module's entries (Register, its ABI version, the enumeration of its unit
// tests), and whether the file changed since it loaded.
//
// It works on the fields of the TModule it is made for: their places in
// TModule are fixed (modules built against the previous release's headers
// read them through its inline accessors), so the classes by concern are
// views of one module, made where they are used.
#pragma once

#include "Module.h"

#include <string>

namespace Kalvoro {

class TModuleLibrary {
public:
  explicit TModuleLibrary(TModule& aModule) : FModule(aModule) {}

  // Maps the module's file here and creates its unit tests; raises the
  // error of a load that failed, leaving the module unloaded or failed with
  // the loader's text.
  void Load();
  // Destroys the unit tests and releases the library of a loaded module;
  // raises TModuleException when module code crashed there, or when the
  // file was written over in place (the library then stays mapped).
  void Unload();
  // Closes the module file (the library, if any, is the caller's).
  void CloseFile();

  // The module's type by its file name's extension.
  static TModuleType TypeOf(const std::string& aFileName);
  // The path handed to the dynamic loader (TModule::LoadPath).
  static std::string LoadPath(const TModule& aModule);
  static bool MappedFileChanged(const TModule& aModule);
  static bool FileChangedSinceLoad(const TModule& aModule);

private:
  void* Open();
  void Release();
  // Lets go of a library whose file was written over while it was loaded
  // without running any of its code.
  void AbandonMapped();
  // Lets go of the unit tests and the library after a failed load.
  void Abandon(TModuleState aState);
  // Runs the module's Register and enumerates its unit tests.
  void Register(TRegisterEntry aRegister);

  TModule& FModule;
};

} // namespace Kalvoro
