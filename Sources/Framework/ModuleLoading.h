// What TModule's loading and unloading share: the texts of their errors,
// the module's errors carried past its release, module code run under the
// crash guard, and the end of a process that holds a library whose file was
// written over.
#pragma once

#include "CrashGuard.h"
#include "ModuleLoadText.h"

#include <exception>
#include <string>

namespace Kalvoro {

class TUnitTestList;

// The file name's extension in capitals (".SO"), or empty.
std::string UpperExtension(const std::string& aFileName);
// What the dynamic loader said last, or empty.
std::string LastDlError();
// True when the type of the exception being handled is defined in the
// library that aSymbol belongs to: such an error cannot outlive the
// library's release.
bool CurrentErrorTypeLivesWith(void* aSymbol);
// The message of the exception being handled (call it inside a catch block).
std::string CurrentErrorMessage();

// Ends the process, once its exit handlers that came after this call have
// run, before those that came before and before the loader's shut-down of
// the libraries: a library whose file was written over while loaded would
// run other code (or none, past the file's new end) as its destructors. The
// status is the one that exit was given; stdio's buffers are written first.
void EndProcessBeforeMappedModules();

// Runs a package's start-up (its "Initialize") after the loader mapped it
// as aHandle; returns aHandle. A package without its entries, or whose
// start-up fails, is released and raises TModuleException (a crash's text
// goes to aLoaderError).
void* StartPackage(void* aHandle, const std::string& aFileName, std::string& aLoaderError);

// Takes each of aUnitTests out of the scenario it is in, one pass over each
// scenario's list (taking them out one by one rescans it for each).
void LeaveScenarios(const TUnitTestList& aUnitTests);
// Empties the list, destroying its unit tests in list order where it owns
// them, as Clear does, without freeing the list's buffer.
void DestroyUnitTests(TUnitTestList& aUnitTests);

// Runs module code with the crash guard. Returns the text of a crash (empty
// when aBody returned); an error that aBody raises passes on unchanged.
template <class TBody> std::string CrashIn(TBody&& aBody) {
  std::exception_ptr Raised;
  try {
    RunGuarded([&] {
      try {
        aBody();
      } catch (...) {
        Raised = std::current_exception();
      }
    });
  } catch (const std::exception& Crash) {
    return Crash.what();
  }
  if (Raised)
    std::rethrow_exception(Raised);
  return {};
}

} // namespace Kalvoro
