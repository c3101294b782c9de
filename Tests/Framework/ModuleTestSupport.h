// Helpers shared by the module tests: where the test modules are, the error
// of a failed load, whether the loader still has a library mapped, the names
// and reports of a module's unit tests, and a temporary folder.
#pragma once

#include "FrameworkTestSupport.h"
#include "ModuleTrial.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace ModuleTest {

using namespace Kalvoro;
using KalvoroTest::TRecorder;
namespace fs = std::filesystem;

inline std::string ModulePath(const std::string& aFileName) {
  return std::string(KALVORO_TEST_MODULES_DIR) + "/" + aFileName;
}

// The text of the TModuleException that aModule.LoadModule() raises.
inline std::string LoadError(TModule& aModule) {
  try {
    aModule.LoadModule();
  } catch (const TModuleException& Error) {
    return Error.what();
  }
  ADD_FAILURE() << "no TModuleException for " << aModule.FullFileName();
  return {};
}

// True while the dynamic loader has the library at aPath mapped.
inline bool IsMapped(const std::string& aPath) {
  void* Handle = dlopen(aPath.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (Handle != nullptr)
    dlclose(Handle);
  return Handle != nullptr;
}

// Sets the step at which the module CrashesWhileLoading crashes (its
// KALVORO_CRASH_AT) for the life of the object.
class TCrashAt {
public:
  explicit TCrashAt(const char* aStep) { setenv("KALVORO_CRASH_AT", aStep, 1); }
  ~TCrashAt() { unsetenv("KALVORO_CRASH_AT"); }
  TCrashAt(const TCrashAt&) = delete;
  TCrashAt& operator=(const TCrashAt&) = delete;
};

inline std::vector<std::string> Names(const TModule& aModule) {
  std::vector<std::string> Result;
  for (const TUnitTestBase* UnitTest : aModule.UnitTestList())
    Result.push_back(UnitTest->Name());
  return Result;
}

// Runs the unit test aName of aModule in a scenario of its own and returns its reports.
inline std::vector<std::string> ReportsOf(TModule& aModule, const char* aName) {
  TTestScenario Scenario("S");
  TRecorder Recorder;
  Scenario.AddStateNotificationHandler(Recorder.Event());
  Scenario.AddUnitTest(aModule.UnitTestList().FindByName(aName));
  Scenario.Run();
  std::vector<std::string> Reports;
  for (const std::string& Line : Recorder.Lines)
    if (Line.rfind("Report ", 0) == 0)
      Reports.push_back(Line);
  Scenario.RemoveAllUnitTests();
  return Reports;
}

using KalvoroTest::TScratchDir;

} // namespace ModuleTest
