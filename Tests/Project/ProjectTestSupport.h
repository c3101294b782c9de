// Helpers shared by the project tests (besides the scratch folder and
// whole-file I/O of TestFiles.h): loading a project file with what stopped it.
#pragma once

#include "Project.h"
#include "TestFiles.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace KalvoroTest {

// Turns LF line ends into CR LF, so that expected files read naturally.
inline std::string CrLf(const std::string& aText) {
  std::string Result;
  for (const char Char : aText) {
    if (Char == '\n')
      Result += '\r';
    Result += Char;
  }
  return Result;
}

inline const std::string DemoModule = std::string(KALVORO_EXAMPLES_DIR) + "/Demo.so";
inline const std::string WorkedExampleModule =
    std::string(KALVORO_TEST_MODULES_DIR) + "/ProjectWorkedExample.so";

// What LoadProject did with a file: its result, report, and the error that
// stopped it, by kind.
struct TLoad {
  std::unique_ptr<Kalvoro::TProject> Project;
  bool Result = false;
  std::string Report;
  std::string Kind;
  std::string Error;
};

inline TLoad LoadFile(const std::string& aFileName) {
  TLoad Load;
  Load.Project = std::make_unique<Kalvoro::TProject>(aFileName);
  try {
    Load.Result = Load.Project->LoadProject(Load.Report);
  } catch (const Kalvoro::ELoadProject& Error) {
    Load.Kind = "ELoadProject";
    Load.Error = Error.Message();
  } catch (const Kalvoro::TModuleException& Error) {
    Load.Kind = "TModuleException";
    Load.Error = Error.Message();
  } catch (const Kalvoro::Exception& Error) {
    Load.Kind = "Exception";
    Load.Error = Error.Message();
  }
  return Load;
}

// The Project and FileInfo sections of a valid file (LF line ends).
inline std::string Header(const std::string& aModuleCount, const std::string& aScenarioCount) {
  return "[Project]\nSignature=Kalvoro\nFileVersion=1.0\nModuleCount=" + aModuleCount +
         "\nScenarioCount=" + aScenarioCount +
         "\n[FileInfo]\nSummaryEnabled=1\nSummaryFileName=/r/Summary.txt\nLogEnabled=0\n"
         "LogFileName=/r/Log.txt\nErrorEnabled=$0\nErrorFileName=/r/Error.txt\n";
}

inline std::vector<std::string> ScenarioNames(const Kalvoro::TProject& aProject) {
  std::vector<std::string> Names;
  for (const Kalvoro::TTestScenario* Scenario : aProject.Scenarios())
    Names.push_back(Scenario->Name());
  return Names;
}

} // namespace KalvoroTest
