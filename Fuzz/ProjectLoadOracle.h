// What a load of an arbitrary project file may end in, checked the same way by
// the fuzz target and by the corpus replay of the test suite.
#pragma once

#include "Project.h"

#include <set>
#include <string>
#include <string_view>

namespace KalvoroFuzz {

// Every module's path, state, assignment lines (while not loaded) and unit
// tests, every scenario, the report settings and the run options, as
// comparable text.
inline std::string DescribeProject(const Kalvoro::TProject& aProject) {
  using namespace Kalvoro;
  std::string Text;
  for (const TTestScenario* Scenario : aProject.Scenarios())
    Text += "scenario [" + Scenario->Name() + "]\n";
  for (const TModule* Module : aProject.Modules()) {
    Text +=
        "module [" + Module->FullFileName() + "] state " + std::to_string(Module->State()) + "\n";
    if (Module->State() != msLoadSuccess)
      for (const std::string& Line : Module->Assignments())
        Text += "  line [" + Line + "]\n";
    for (const TUnitTestBase* UnitTest : Module->UnitTestList())
      Text += "  " + UnitTest->Name() + " in [" +
              (UnitTest->TestScenario() ? UnitTest->TestScenario()->Name() : "-") + "] " +
              (UnitTest->Enabled() ? "enabled" : "disabled") + "\n";
  }
  // "summary 1 [Summary.txt]", "log ...", "error ..."
  for (TPageKind Kind : PageKinds) {
    const TPageFile& Page = aProject.FileInfo().Page(Kind);
    std::string Name = PageKey(Kind);
    Name[0] = static_cast<char>(Name[0] - 'A' + 'a');
    Text += Name + " " + std::to_string(Page.Enabled) + " [" + Page.FileName + "]\n";
  }
  Text += "options hosts " + std::to_string(aProject.Options().Hosts) + " time limit " +
          std::to_string(aProject.Options().TimeLimit) + "\n";
  return Text;
}

// Module files could be loaded, and their code run, only from inputs that
// name a shared library; the fuzz target leaves those alone.
inline bool MayNameALibrary(std::string_view aData) {
  return aData.find(".so") != std::string_view::npos;
}

// Whether aMessage is one a failed load may end with.
inline bool IsLoadMessage(const std::string& aMessage) {
  static const std::string_view Prefixes[] = {
      "The file \"",
      "Cannot read the file \"",
      "Failed to open project\rSection \"",
      "Failed to load package or library \"",
      "Unable to load package \"",
      "Invalid module\r",
  };
  static const std::set<std::string, std::less<>> Exact = {
      "Invalid file\rModuleCount or ScenarioCount not found",
      "Invalid file\rFileInfo section is corrupt",
      "Failed to open project\rScenarios section is corrupt",
      "Failed to open project\rModule section is corrupt",
      "Cannot add this test scenario.\rA TestScenario with this name already exists",
  };
  if (Exact.contains(aMessage))
    return true;
  for (const std::string_view Prefix : Prefixes)
    if (aMessage.starts_with(Prefix))
      return true;
  return false;
}

// Loads aFileName into a fresh project and checks the outcome: a completed
// load or one of the load messages, Modified false afterwards, and for a
// completed load a save to aScratchFile that reads back the same. Returns
// what went wrong, or an empty text.
inline std::string CheckProjectFile(const std::string& aFileName, const std::string& aScratchFile) {
  using namespace Kalvoro;
  TOpenProjectResult Opened = OpenProject(aFileName);
  if (Opened.Project->Modified())
    return "Modified after the load";
  if (!Opened.Error.empty())
    return IsLoadMessage(Opened.Error) ? std::string() : "unexpected error: " + Opened.Error;

  // Modules that share a path share their section of the file; only distinct
  // paths can be expected to come back as they were.
  std::set<std::string, std::less<>> Paths;
  for (const TModule* Module : Opened.Project->Modules())
    if (!Paths.insert(Module->FullFileName()).second)
      return {};

  std::string Before = DescribeProject(*Opened.Project);
  // A project without scenarios (a negative count) is saved with a count of
  // 0, which reads back as the default scenario.
  if (Opened.Project->Scenarios().Count() == 0)
    Before = "scenario [" + std::string(DefaultScenarioName) + "]\n" + Before;
  Opened.Project->SetFileName(aScratchFile);
  try {
    Opened.Project->SaveProject();
  } catch (const std::exception& Error) {
    return std::string("save failed: ") + Error.what();
  }
  TOpenProjectResult Again = OpenProject(aScratchFile);
  if (!Again.Error.empty())
    return "reading the saved file failed: " + Again.Error;
  const std::string After = DescribeProject(*Again.Project);
  if (After != Before)
    return "the saved file reads back differently:\n" + Before + "----\n" + After;
  return {};
}

} // namespace KalvoroFuzz
