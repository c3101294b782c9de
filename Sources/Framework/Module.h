// A test module: one module file, its library and the unit tests it
// registers, with its type, state and file identity (Module.cpp; its file
// and library in ModuleLibrary.cpp, its unit tests in ModuleUnitTests.cpp).
#pragma once

#include "Exception.h"
#include "UnitTestCore.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Kalvoro {

enum TModuleType : std::uint8_t { ptPackage, ptLibrary, ptUnknown };
enum TModuleState : std::uint8_t { msNotLoaded, msLoadSuccess, msLoadFailed };

// The state as the programs show it: "NOT LOADED", "LOAD SUCCESS", "LOAD FAILED".
constexpr std::string_view ModuleStateText(TModuleState aState) {
  switch (aState) {
  case msNotLoaded:
    return "NOT LOADED";
  case msLoadSuccess:
    return "LOAD SUCCESS";
  case msLoadFailed:
    return "LOAD FAILED";
  }
  return {};
}

// Every error that LoadModule raises itself.
class KALVORO_API TModuleException : public Exception {
public:
  using Exception::Exception;
};

// A module file as it was when its library loaded: device, inode, size, and
// the modification and change times in nanoseconds. A file rebuilt, replaced
// or written over in place differs in one of them.
struct TModuleFileIdentity {
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  std::int64_t Size = 0;
  std::int64_t Modified = 0;
  std::int64_t Changed = 0;
  bool operator==(const TModuleFileIdentity&) const = default;
};

// The identity of the file at aPath now; false when there is none.
KALVORO_API bool ModuleFileIdentity(const std::string& aPath, TModuleFileIdentity& aIdentity);

// The exception of the methods of a module whose file changed after the run
// listed them: their code is no longer what was listed.
inline constexpr const char* ModuleFileChangedText = "The module file changed since it was listed";

// A unit-test name that a load could not keep as registered.
struct TNameChange {
  std::string Registered; // the registered name, cut to MaxNameLength
  std::string Given;      // the unit test's name; empty: the unit test was refused
};

// How a test program of another framework is started when it is listed and
// run: arguments after the ones its framework needs, variables added to its
// environment ("NAME=VALUE"), and its working directory (empty: the
// program's own folder). A Kalvoro module does not use them.
struct TProgramSettings {
  std::vector<std::string> Arguments;
  std::vector<std::string> Environment;
  std::string Directory;
  bool Empty() const { return Arguments.empty() && Environment.empty() && Directory.empty(); }
  bool operator==(const TProgramSettings&) const = default;
};

// One module file: loads its library, creates a unit test per registered
// class, and keeps the scenario memberships as assignment lines while the
// module is not loaded.
class KALVORO_API TModule {
public:
  explicit TModule(std::string aFileName);
  ~TModule();
  TModule(const TModule&) = delete;
  TModule& operator=(const TModule&) = delete;

  TModuleType ModuleType() const { return FModuleType; }
  TModuleState State() const { return FState; }
  const std::string& FullFileName() const { return FFullFileName; }
  void* Handle() const { return FHandle; }
  const TUnitTestList& UnitTestList() const { return FUnitTestList; }
  std::vector<std::string>& Assignments() { return FAssignments; }
  const std::vector<std::string>& Assignments() const { return FAssignments; }
  // What the dynamic loader said about the last failed load or unload, for
  // diagnostics; after a crash in the module's code, the crash's text.
  const std::string& LoaderError() const { return FLoaderError; }
  // What the last load did to names: unit tests refused because their name
  // holds '|', and unit tests named apart because their names share their
  // first MaxNameLength bytes.
  const std::vector<TNameChange>& NameChanges() const { return FNameChanges; }

  std::string GetFileName() const;
  std::string GetPath() const;

  // The folder against which a relative FullFileName is loaded (a project
  // file's folder); empty: relative to the working directory.
  const std::string& BaseDirectory() const { return FBaseDirectory; }
  void SetBaseDirectory(std::string aDirectory) { FBaseDirectory = std::move(aDirectory); }
  // The path handed to the dynamic loader.
  std::string LoadPath() const;

  // The module file as it was when the library loaded (all zero while it is
  // not loaded).
  const TModuleFileIdentity& LoadedIdentity() const { return FLoadedIdentity; }
  // Whether the file that the loaded library was mapped from has been written
  // over in place since: its code in this process is then no longer the code
  // that was listed. One fstat; false while not loaded.
  bool MappedFileChanged() const;
  // Whether the file at LoadPath is no longer the one that loaded (written
  // over, replaced or gone): a new process would load other code.
  bool FileChangedSinceLoad() const;

  // Loads the file here, or, where the program has a lister (ModuleLister.h),
  // lists it there: its unit tests are then descriptions and Listed() is
  // true.
  bool LoadModule();
  bool UnloadModule();
  // For a program that lists its modules, when the file was rebuilt: lists
  // it again in place of the listing that the module holds. A unit test of
  // the new listing with the name of one before takes that one's place in
  // its scenario, with its enabled state; the ones that are gone leave
  // their assignment lines with the module, as an unload does; new ones
  // are in no scenario, and the module's lines that name them move to
  // aReturning (for the project to place them, as a load does). A listing
  // that fails leaves the module as UnloadModule and a failed LoadModule
  // do. Returns whether the module is listed; the module must be listed.
  bool RelistModule(std::vector<std::string>& aReturning);
  // Whether the unit tests are a lister's descriptions, not the module's code.
  bool Listed() const { return FListed; }
  // For a lister: takes aUnitTests (owned from now on) and the name changes
  // of a listing as a load would take the module's, and counts as loaded.
  void AdoptListing(std::vector<TUnitTestBase*> aUnitTests, std::vector<TNameChange> aChanges);
  // For a lister: the listing failed; the module is left in aState with the
  // loader's text.
  void FailListing(TModuleState aState, std::string aLoaderError);
  void SaveAssignments();
  // How the module is started where it is a test program (kept by the
  // project file); a change takes effect at the next listing.
  const TProgramSettings& ProgramSettings() const { return FProgramSettings; }
  void SetProgramSettings(TProgramSettings aSettings) { FProgramSettings = std::move(aSettings); }
  void EnumUnitTestProc(const TUnitTestBaseClass* aUnitTestClass,
                        const TFixtureBaseClass* aFixtureClass, void* aInfo);

private:
  // The classes by concern that work on the fields below. The fields keep
  // their places up to FNameChanges: modules built against the previous
  // release's headers, which declared this class, read them through its
  // inline accessors.
  friend class TModuleLibrary;
  friend class TModuleUnitTests;

  TModuleType FModuleType;
  TModuleState FState = msNotLoaded;
  std::string FFullFileName;
  void* FHandle = nullptr;
  TUnitTestList FUnitTestList{true};
  std::vector<std::string> FAssignments;
  std::string FLoaderError;
  std::string FBaseDirectory;
  int FFile = -1; // the module file while its library is loaded
  std::vector<TNameChange> FNameChanges;
  // Last, so that the members before keep their places.
  TModuleFileIdentity FLoadedIdentity;
  bool FListed = false;
  TProgramSettings FProgramSettings;
};

} // namespace Kalvoro
