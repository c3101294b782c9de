// The terminal program: module mode, project mode and the dispatch between them.
#include "ConsoleRunner.h"

#include "ConsoleOutput.h"
#include "ConsoleSelection.h"
#include "DirectLoader.h"
#include "KindLister.h"
#include "ListedName.h"
#include "Project.h"
#include "RunnerCore.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ostream>
#include <string_view>

namespace Kalvoro {

namespace {

// The files that the run will write: the enabled pages' and the JUnit report.
std::vector<std::string> ReportFileNames(const TPerPage<TPageFile>& aFiles,
                                         const TRunnerOptions& aOptions) {
  std::vector<std::string> Names{aOptions.JUnitFile};
  for (const TPageFile& File : aFiles.Items)
    if (File.Enabled)
      Names.push_back(File.FileName);
  return Names;
}

// Loads a module, reporting a failure on the error stream.
bool LoadForRunner(TModule& aModule, TRunnerStreams& aStreams) {
  try {
    aModule.LoadModule();
    return true;
  } catch (const std::exception& Error) {
    PrintError(aStreams, Error.what());
    if (!aModule.LoaderError().empty())
      aStreams.Err << "kalvoro: " << aModule.LoaderError() << '\n';
    return false;
  }
}

void ListUnitTests(const TUnitTestList& aUnitTests, const std::string& aIndent,
                   std::ostream& aOut) {
  for (const TUnitTestBase* UnitTest : aUnitTests) {
    aOut << aIndent << ListedName(UnitTest->Name()) << '\n';
    for (const TUnitTestMethod* Method : UnitTest->Methods())
      aOut << aIndent << "  " << ListedName(Method->Name()) << '\n';
  }
}

// Unit tests that the module registered but the load refused, on the error
// stream; true when there were any.
bool TellRefusedUnitTests(const TModule& aModule, TRunnerStreams& aStreams) {
  bool Refused = false;
  for (const TNameChange& Change : aModule.NameChanges())
    if (Change.Given.empty()) {
      aStreams.Err << "kalvoro: The unit test \"" << TerminalText(Change.Registered)
                   << "\" is not loaded: a unit-test name may not hold \"|\"\n";
      Refused = true;
    }
  return Refused;
}

int RunModule(TRunnerOptions aOptions, TRunnerStreams& aStreams) {
  ResolveRunOptions(aOptions, nullptr);
  if (!aOptions.Scenarios.empty() || aOptions.NoFiles) {
    PrintError(aStreams, "--scenario and --no-files apply to project files only");
    return ExitUsageOrLoad;
  }
  TModule Module(aOptions.Target);
  if (!LoadForRunner(Module, aStreams))
    return ExitUsageOrLoad;

  const bool Refused = TellRefusedUnitTests(Module, aStreams);
  if (aOptions.Command == "list") {
    aStreams.Out << ListedName(Module.GetFileName()) << " (" << ModuleStateText(Module.State())
                 << ")\n";
    ListUnitTests(Module.UnitTestList(), "  ", aStreams.Out);
    return ExitSuccess;
  }
  const std::string Conflict = ReportFileConflict(
      ReportFileNames(NamedPageFiles(aOptions.PageFiles), aOptions), "", {&Module});
  if (!Conflict.empty()) {
    PrintError(aStreams, Conflict);
    return ExitUsageOrLoad;
  }
  int Code;
  {
    TTestScenario Scenario(DefaultScenarioName);
    Scenario.SetTimeLimit(aOptions.TimeLimit);
    for (TUnitTestBase* UnitTest : Module.UnitTestList())
      Scenario.AddUnitTest(UnitTest);
    Code = RunAndReport({&Scenario}, aOptions, NamedPageFiles(aOptions.PageFiles), aStreams);
    Scenario.RemoveAllUnitTests();
  }
  try {
    Module.UnloadModule();
  } catch (const std::exception& Error) {
    PrintError(aStreams, Error.what());
  }
  // A unit test that could not be loaded did not pass.
  return Refused && Code == ExitSuccess ? ExitTestsFailed : Code;
}

void ListProject(const TProject& aProject, std::ostream& aOut) {
  aOut << "Scenarios:\n";
  for (const TTestScenario* Scenario : aProject.Scenarios()) {
    aOut << "  " << ListedName(Scenario->Name()) << (Scenario->Enabled() ? "" : " (disabled)")
         << '\n';
    for (const TUnitTestBase* UnitTest : Scenario->UnitTestList())
      aOut << "    " << ListedName(UnitTest->GetFullName())
           << (UnitTest->Enabled() ? "" : " (disabled)") << '\n';
  }
  aOut << "Modules:\n";
  for (const TModule* Module : aProject.Modules())
    aOut << "  " << ListedName(Module->FullFileName()) << " (" << ModuleStateText(Module->State())
         << ")\n";
}

// The scenarios that the options name, in their order, or else every scenario
// in list order, disabled ones too, as Start All takes them. False when a
// named scenario is not in the project (the error is printed).
bool ChooseScenarios(TProject& aProject, const TRunnerOptions& aOptions, TRunnerStreams& aStreams,
                     std::vector<TTestScenario*>& aScenarios) {
  if (aOptions.Scenarios.empty()) {
    for (TTestScenario* Scenario : aProject.Scenarios())
      aScenarios.push_back(Scenario);
    return true;
  }
  for (const std::string& Name : aOptions.Scenarios) {
    TTestScenario* Scenario = aProject.Scenarios().FindByName(Name);
    if (Scenario == nullptr) {
      PrintError(aStreams, "No scenario \"" + Name + "\" in \"" + aOptions.Target + "\"");
      return false;
    }
    aScenarios.push_back(Scenario);
  }
  return true;
}

// The project's report files, each where it is enabled; a file named on the
// command line takes the place of the project's for its page.
TPerPage<TPageFile> ProjectReportFiles(const TProject& aProject, const TRunnerOptions& aOptions) {
  TPerPage<std::string> Names = aOptions.PageFiles;
  for (TPageKind Kind : PageKinds) {
    const TPageFile& Stored = aProject.FileInfo().Page(Kind);
    if (Names[Kind].empty() && !aOptions.NoFiles && Stored.Enabled)
      Names[Kind] = aProject.ResolvePath(Stored.FileName);
  }
  return NamedPageFiles(Names);
}

int RunProject(TRunnerOptions aOptions, TRunnerStreams& aStreams) {
  TOpenProjectResult Opened = OpenProject(aOptions.Target);
  if (!Opened.Error.empty()) {
    PrintError(aStreams, Opened.Error);
    // The dynamic loader's own reason, as module mode gives it.
    if (Opened.Project)
      for (const TModule* Module : Opened.Project->Modules())
        if (Module->State() == msLoadFailed && !Module->LoaderError().empty())
          aStreams.Err << "kalvoro: " << Module->LoaderError() << '\n';
    return ExitUsageOrLoad;
  }
  if (!Opened.Report.empty()) {
    // The load report is no error: the run goes on with what did fit.
    std::string Report = Opened.Report;
    std::replace(Report.begin(), Report.end(), '\r', '\n');
    aStreams.Err << Report;
    if (Report.back() != '\n')
      aStreams.Err << '\n';
  }
  TProject& Project = *Opened.Project;
  ResolveRunOptions(aOptions, &Project.Options());
  if (aOptions.Command == "list") {
    ListProject(Project, aStreams.Out);
    return ExitSuccess;
  }
  std::vector<TTestScenario*> Scenarios;
  if (!ChooseScenarios(Project, aOptions, aStreams, Scenarios))
    return ExitUsageOrLoad;
  const TPerPage<TPageFile> Files = ProjectReportFiles(Project, aOptions);
  std::vector<const TModule*> Modules;
  for (const TModule* Module : Project.Modules())
    Modules.push_back(Module);
  const std::string Conflict =
      ReportFileConflict(ReportFileNames(Files, aOptions), aOptions.Target, Modules);
  if (!Conflict.empty()) {
    PrintError(aStreams, Conflict);
    return ExitUsageOrLoad;
  }
  for (TTestScenario* Scenario : Scenarios)
    Scenario->SetTimeLimit(aOptions.TimeLimit);
  const int Code = RunAndReport(Scenarios, aOptions, Files, aStreams);
  // Unit tests that vanished or lost their scenario must not pass unseen.
  return Opened.Report.empty() || Code != ExitSuccess ? Code : ExitTestsFailed;
}

// Whether the target is a project file or, by its name, a library (where a
// test program is an executable, which has no such name).
bool NamesKalvoroModules(const std::string& aTarget) {
  if (IsProjectPath(aTarget))
    return true;
  const std::size_t Dot = aTarget.rfind('.');
  std::string Extension = Dot == std::string::npos ? std::string() : aTarget.substr(Dot);
  std::transform(Extension.begin(), Extension.end(), Extension.begin(),
                 [](unsigned char aChar) { return static_cast<char>(std::tolower(aChar)); });
  return Extension == ".so" || Extension == ".dll" || Extension == ".bpl";
}

} // namespace

int RunRunner(const TRunnerOptions& aGiven, TRunnerStreams& aStreams) {
  // Every file named absolute before any test code runs: a module's start-up
  // that changes the working directory in process must not move the reports
  // or the project's other modules. (A module named alone loads first.)
  TRunnerOptions aOptions = aGiven;
  for (std::string& Name : aOptions.PageFiles.Items)
    Name = AbsoluteFileName(Name);
  aOptions.JUnitFile = AbsoluteFileName(aOptions.JUnitFile);
  if (IsProjectPath(aOptions.Target))
    aOptions.Target = AbsoluteFileName(aOptions.Target);
  if (aOptions.Command == "help") {
    aStreams.Out << RunnerHelpText();
    return ExitSuccess;
  }
  if (aOptions.Command == "version") {
    aStreams.Out << "kalvoro " << KalvoroVersion << '\n';
    return ExitSuccess;
  }
  // Each module is listed by its kind. Unless told to run in process, a
  // Kalvoro module is listed by a host: no module's code runs in this
  // process. In process, Kalvoro modules load here directly, without a
  // trial; a start-up that crashes ends the run at once (DirectLoader.h).
  TKindLister Kinds;
  TDirectLoader Direct;
  if (aOptions.HostsGiven == false)
    Kinds.SetKalvoroLister(&Direct);
  const TModuleListerScope Listing(&Kinds);
  // A Kalvoro module's host starts now, while this process reads the
  // project and the module's file: the first listing finds it waiting.
  if (aOptions.HostsGiven != false && NamesKalvoroModules(aOptions.Target))
    Kinds.Kalvoro().Hosts().StartAhead();
  if (IsProjectPath(aOptions.Target))
    return RunProject(aOptions, aStreams);
  return RunModule(aOptions, aStreams);
}

int RunnerMain(const std::vector<std::string>& aArguments, TRunnerStreams& aStreams) {
  TRunnerOptions Options;
  std::string Error;
  if (!ParseRunnerArguments(aArguments, Options, Error)) {
    PrintError(aStreams, Error);
    aStreams.Err << "Try \"kalvoro --help\".\n";
    return ExitUsageOrLoad;
  }
  if (Options.Command == "run" && !ApplyRunnerEnvironment(Options, Error, std::getenv)) {
    PrintError(aStreams, Error);
    return ExitUsageOrLoad;
  }
  return RunRunner(Options, aStreams);
}

} // namespace Kalvoro
