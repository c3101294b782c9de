// A module's unit tests as a whole: each one created as the module's code
// enumerates them, or taken from a lister's listing; their assignment lines
// while the module is not loaded; a listing forgotten or listed again after
// a rebuild. Works on the fields of the TModule it is made for, as
// TModuleLibrary does (ModuleLibrary.h).
#pragma once

#include "Module.h"

#include <string>
#include <vector>

namespace Kalvoro {

class TModuleUnitTests {
public:
  explicit TModuleUnitTests(TModule& aModule) : FModule(aModule) {}

  // Creates the unit test of aUnitTestClass as the module's code enumerates
  // it; aInfo gathers the whole names of long ones (ModuleNames.h).
  void Add(const TUnitTestBaseClass* aUnitTestClass, void* aInfo);
  // Takes a lister's unit tests (owned from now on) and name changes.
  void Adopt(std::vector<TUnitTestBase*> aUnitTests, std::vector<TNameChange> aChanges);
  // Writes the assignment line of each unit test in a scenario.
  void SaveAssignments();
  // Forgets a listing as an unload does: the unit tests leave assignment
  // lines and their scenarios, and the lister lets go of the file.
  void ForgetListing();
  // TModule::RelistModule.
  bool Relist(std::vector<std::string>& aReturning);

private:
  TModule& FModule;
};

} // namespace Kalvoro
