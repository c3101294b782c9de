#include "ConsoleRunner.h"

#include "IOutput.h"
#include "JUnitReport.h"
#include "ProgressBar.h"
#include "UnitTestBase.h"
#ifdef KALVORO_HAVE_PROJECT
#include "Project.h"
#endif

#include <algorithm>
#include <filesystem>
#include <memory>
#include <ostream>
#include <system_error>

namespace Kalvoro {

namespace {

const char* const DefaultScenarioName = "Default Scenario";

// Error texts may hold carriage returns as line breaks; a terminal wants '\n'.
std::string ForTerminal(const std::string& aText) {
  std::string Text = WithFullStop(aText);
  std::replace(Text.begin(), Text.end(), '\r', '\n');
  return Text;
}

void PrintError(TRunnerStreams& aStreams, const std::string& aText) {
  aStreams.Err << "kalvoro: " << ForTerminal(aText) << '\n';
}

// Where the pages of a run go: the log and the error list to their files as
// the lines arrive (so that a long run is not held in memory), the summary
// into memory, to be printed after each scenario and saved at the end.
struct TPages {
  std::unique_ptr<TLinesFile> Log;
  std::unique_ptr<TLinesFile> Errors;
  std::vector<std::string> Summary;
};

// Writes the pages' lines and echoes error lines (or, verbose, log lines) as
// they arrive. When the log goes nowhere, the sink asks only for the messages
// of the error list, so that passing checks and progress are not built for it.
class TConsoleOutput : public TOutput {
public:
  TConsoleOutput(TTestScenario* aScenario, TPages& aPages, TRunnerStreams& aStreams, bool aVerbose,
                 TProgressBar* aProgress)
      : TOutput(aScenario, GetDefaultFormatSettings(), CurrentDateTime,
                aPages.Log || aVerbose ? AllMessageIds : ErrorListMessages),
        FPages(aPages), FStreams(aStreams), FVerbose(aVerbose), FProgress(aProgress) {}

  void WriteLog(const std::string& aText) override {
    if (FPages.Log)
      FPages.Log->WriteLine(aText);
    if (FVerbose)
      Echo(aText);
  }
  void WriteError(const std::string& aText) override {
    if (FPages.Errors)
      FPages.Errors->WriteLine(aText);
    if (!FVerbose)
      Echo(aText);
  }
  void WriteSummary(const std::string& aText) override { FPages.Summary.push_back(aText); }

private:
  void Echo(const std::string& aText) {
    if (FProgress != nullptr)
      FProgress->Clear();
    FStreams.Out << aText << '\n';
  }

  TPages& FPages;
  TRunnerStreams& FStreams;
  bool FVerbose;
  TProgressBar* FProgress;
};

int CountRunnableMethods(const std::vector<TTestScenario*>& aScenarios) {
  int Count = 0;
  for (const TTestScenario* Scenario : aScenarios)
    for (const TUnitTestBase* UnitTest : Scenario->UnitTestList())
      if (UnitTest->Enabled())
        Count += UnitTest->Methods().Count();
  return Count;
}

struct TReportFiles {
  std::string Summary;
  std::string Log;
  std::string Errors;
};

bool SameFile(const std::string& aFirst, const std::string& aSecond) {
  if (aFirst.empty() || aSecond.empty())
    return false;
  std::error_code First;
  std::error_code Second;
  const auto A = std::filesystem::weakly_canonical(std::filesystem::absolute(aFirst), First);
  const auto B = std::filesystem::weakly_canonical(std::filesystem::absolute(aSecond), Second);
  return First || Second ? aFirst == aSecond : A == B;
}

// The pages are saved in the manager's order, Summary, Log, Errors, each
// replacing the file as a whole; so of pages named to the same file, only the
// last one would remain. That one alone is written.
TReportFiles WithoutOverwrittenPages(TReportFiles aFiles) {
  if (SameFile(aFiles.Summary, aFiles.Log) || SameFile(aFiles.Summary, aFiles.Errors))
    aFiles.Summary.clear();
  if (SameFile(aFiles.Log, aFiles.Errors))
    aFiles.Log.clear();
  return aFiles;
}

// Runs the scenarios one after another, as Start All does, and writes the
// report files that are named. Returns the exit code.
int RunScenarios(const std::vector<TTestScenario*>& aScenarios, const TRunnerOptions& aOptions,
                 const TReportFiles& aNamedFiles, TRunnerStreams& aStreams) {
  const TReportFiles Files = WithoutOverwrittenPages(aNamedFiles);
  TPages Pages;
  if (!Files.Log.empty())
    Pages.Log = std::make_unique<TLinesFile>(Files.Log);
  if (!Files.Errors.empty())
    Pages.Errors = std::make_unique<TLinesFile>(Files.Errors);
  TJUnitReport JUnit;
  std::unique_ptr<TProgressBar> Progress;
  if (aOptions.Progress && aStreams.ErrIsTerminal)
    Progress = std::make_unique<TProgressBar>(aStreams.Err, CountRunnableMethods(aScenarios));

  bool Failed = false;
  bool Stopped = false;
  for (TTestScenario* Scenario : aScenarios) {
    TConsoleOutput Output(Scenario, Pages, aStreams, aOptions.Verbose, Progress.get());
    if (!aOptions.JUnitFile.empty())
      JUnit.Attach(Scenario);
    if (Progress)
      Progress->Attach(Scenario);
    try {
      Scenario->Run();
    } catch (const std::exception& Error) {
      if (Progress)
        Progress->Clear();
      PrintError(aStreams, "The run of \"" + Scenario->Name() + "\" was stopped: " + Error.what());
      Stopped = true;
    } catch (...) {
      if (Progress)
        Progress->Clear();
      PrintError(aStreams, "The run of \"" + Scenario->Name() +
                               "\" was stopped by an error that carries no message");
      Stopped = true;
    }
    if (Progress)
      Progress->Detach();
    if (!aOptions.JUnitFile.empty())
      JUnit.Detach();
    if (Stopped)
      break;
    const std::size_t First = Pages.Summary.size();
    Output.OutputSummary();
    if (Progress)
      Progress->Clear();
    for (std::size_t I = First; I < Pages.Summary.size(); ++I)
      aStreams.Out << Pages.Summary[I] << '\n';
    const TSummary& Summary = Scenario->GetSummary();
    if (Summary.MethodFailure() > 0 || Summary.MethodException() > 0)
      Failed = true;
  }
  Progress.reset();
  aStreams.Out.flush();

  int Code = (Failed || Stopped) ? ExitTestsFailed : ExitSuccess;
  try {
    // Summary, Log, Errors: the order in which the manager writes its pages.
    if (!Files.Summary.empty())
      SaveLinesToFile(Files.Summary, Pages.Summary);
    if (Pages.Log)
      Pages.Log->Close();
    if (Pages.Errors)
      Pages.Errors->Close();
    if (!aOptions.JUnitFile.empty())
      JUnit.WriteFile(aOptions.JUnitFile);
  } catch (const std::exception& Error) {
    PrintError(aStreams, Error.what());
    Code = ExitUsageOrLoad;
  }
  return Code;
}

std::string StateText(TModuleState aState) {
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
    aOut << aIndent << UnitTest->Name() << '\n';
    for (const TUnitTestMethod* Method : UnitTest->Methods())
      aOut << aIndent << "  " << Method->Name() << '\n';
  }
}

int RunModule(const TRunnerOptions& aOptions, TRunnerStreams& aStreams) {
  if (!aOptions.Scenarios.empty() || aOptions.NoFiles) {
    PrintError(aStreams, "--scenario and --no-files apply to project files only");
    return ExitUsageOrLoad;
  }
  TModule Module(aOptions.Target);
  if (!LoadForRunner(Module, aStreams))
    return ExitUsageOrLoad;
  if (aOptions.Command == "list") {
    aStreams.Out << Module.GetFileName() << " (" << StateText(Module.State()) << ")\n";
    ListUnitTests(Module.UnitTestList(), "  ", aStreams.Out);
    return ExitSuccess;
  }
  int Code;
  {
    TTestScenario Scenario(DefaultScenarioName);
    for (TUnitTestBase* UnitTest : Module.UnitTestList())
      Scenario.AddUnitTest(UnitTest);
    Code = RunScenarios({&Scenario}, aOptions,
                        TReportFiles{aOptions.SummaryFile, aOptions.LogFile, aOptions.ErrorFile},
                        aStreams);
    Scenario.RemoveAllUnitTests();
  }
  try {
    Module.UnloadModule();
  } catch (const std::exception& Error) {
    PrintError(aStreams, Error.what());
  }
  return Code;
}

#ifdef KALVORO_HAVE_PROJECT
// A relative path in a project file is taken relative to the project file's folder.
std::string ResolveAgainst(const std::string& aProjectFile, const std::string& aPath) {
  if (aPath.empty() || aPath.front() == '/')
    return aPath;
  const std::size_t Slash = aProjectFile.find_last_of('/');
  return Slash == std::string::npos ? aPath : aProjectFile.substr(0, Slash + 1) + aPath;
}

void ListProject(const TProject& aProject, std::ostream& aOut) {
  aOut << "Scenarios:\n";
  for (const TTestScenario* Scenario : aProject.Scenarios()) {
    aOut << "  " << Scenario->Name() << (Scenario->Enabled() ? "" : " (disabled)") << '\n';
    for (const TUnitTestBase* UnitTest : Scenario->UnitTestList())
      aOut << "    " << UnitTest->GetFullName() << (UnitTest->Enabled() ? "" : " (disabled)")
           << '\n';
  }
  aOut << "Modules:\n";
  for (const TModule* Module : aProject.Modules())
    aOut << "  " << Module->FullFileName() << " (" << StateText(Module->State()) << ")\n";
}

int RunProject(const TRunnerOptions& aOptions, TRunnerStreams& aStreams) {
  TOpenProjectResult Opened = OpenProject(aOptions.Target);
  if (!Opened.Error.empty()) {
    PrintError(aStreams, Opened.Error);
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
  if (aOptions.Command == "list") {
    ListProject(Project, aStreams.Out);
    return ExitSuccess;
  }

  std::vector<TTestScenario*> Scenarios;
  if (aOptions.Scenarios.empty()) {
    // As Start All: every scenario in list order, disabled ones too.
    for (TTestScenario* Scenario : Project.Scenarios())
      Scenarios.push_back(Scenario);
  } else {
    for (const std::string& Name : aOptions.Scenarios) {
      TTestScenario* Scenario = Project.Scenarios().FindByName(Name);
      if (Scenario == nullptr) {
        PrintError(aStreams, "No scenario \"" + Name + "\" in \"" + aOptions.Target + "\"");
        return ExitUsageOrLoad;
      }
      Scenarios.push_back(Scenario);
    }
  }

  // The project's report files, each where it is enabled; a file named on the
  // command line takes the place of the project's for its page.
  const TFileInfo& Info = Project.FileInfo();
  TReportFiles Files;
  if (!aOptions.NoFiles) {
    if (Info.SummaryEnabled())
      Files.Summary = ResolveAgainst(aOptions.Target, Info.SummaryFileName());
    if (Info.LogEnabled())
      Files.Log = ResolveAgainst(aOptions.Target, Info.LogFileName());
    if (Info.ErrorEnabled())
      Files.Errors = ResolveAgainst(aOptions.Target, Info.ErrorFileName());
  }
  if (!aOptions.SummaryFile.empty())
    Files.Summary = aOptions.SummaryFile;
  if (!aOptions.LogFile.empty())
    Files.Log = aOptions.LogFile;
  if (!aOptions.ErrorFile.empty())
    Files.Errors = aOptions.ErrorFile;
  return RunScenarios(Scenarios, aOptions, Files, aStreams);
}
#endif

} // namespace

bool IsProjectPath(const std::string& aPath) {
  const std::size_t Dot = aPath.find_last_of('.');
  const std::size_t Slash = aPath.find_last_of('/');
  if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash))
    return false;
  std::string Extension = aPath.substr(Dot);
  std::transform(Extension.begin(), Extension.end(), Extension.begin(),
                 [](unsigned char C) { return static_cast<char>(std::tolower(C)); });
  return Extension == ".kvr";
}

std::string RunnerHelpText() {
  return R"(Usage:
  kalvoro run MODULE [--junit FILE] [--log FILE] [--errors FILE] [--summary FILE]
  kalvoro run PROJECT.kvr [--scenario NAME]... [--junit FILE] [--no-files]
                          [--log FILE] [--errors FILE] [--summary FILE]
  kalvoro list MODULE|PROJECT.kvr
  kalvoro --help | --version

Runs unit tests headless, as the Morvane manager does.

run MODULE     Loads one test module (.so, .bpl or any shared library), puts
               every unit test it registers, enabled, into the scenario
               "Default Scenario" and runs it. Prints the error list as it
               arrives and the summary report at the end.
run PROJECT    Opens a project file and runs the named scenarios in the given
               order, or else every scenario in list order (disabled ones
               too), then writes the project's report files: each one that
               the project enables, to the file it names (a relative name
               counts from the project file's folder).
list           Prints the unit tests with their methods (module), or the
               scenarios with their unit tests and the modules with their
               states (project).

Options:
  --junit FILE     also write a JUnit XML report for CI systems
  --log FILE       write the log page to FILE (for a project: instead of
                   the project's log file)
  --errors FILE    write the error list to FILE (likewise)
  --summary FILE   write the summary report to FILE (likewise)
  --scenario NAME  run this scenario (project mode; may be repeated)
  --no-files       do not write the project's report files (project mode)
  --verbose, -v    print every log line instead of the error list
  --no-progress    no progress bar on a terminal
  --help, -h       show this text
  --version        show the version

Report files hold exactly the manager's pages, every line ended by CR LF.

Exit codes:
  0  every method succeeded
  1  a method failed or raised an error, or a run was stopped
  2  wrong arguments, the module or project could not be loaded, or a report
     file could not be written
)";
}

bool ParseRunnerArguments(const std::vector<std::string>& aArguments, TRunnerOptions& aOptions,
                          std::string& aError) {
  aOptions = TRunnerOptions();
  std::size_t Index = 0;
  auto Value = [&](const std::string& aOption, std::string& aTarget) {
    if (Index + 1 >= aArguments.size()) {
      aError = "option " + aOption + " needs a value";
      return false;
    }
    aTarget = aArguments[++Index];
    return true;
  };
  for (; Index < aArguments.size(); ++Index) {
    const std::string& Argument = aArguments[Index];
    if (Argument == "--help" || Argument == "-h") {
      aOptions.Command = "help";
      return true;
    }
    if (Argument == "--version") {
      aOptions.Command = "version";
      return true;
    }
    if (Argument == "--junit") {
      if (!Value(Argument, aOptions.JUnitFile))
        return false;
    } else if (Argument == "--log") {
      if (!Value(Argument, aOptions.LogFile))
        return false;
    } else if (Argument == "--errors") {
      if (!Value(Argument, aOptions.ErrorFile))
        return false;
    } else if (Argument == "--summary") {
      if (!Value(Argument, aOptions.SummaryFile))
        return false;
    } else if (Argument == "--scenario") {
      std::string Name;
      if (!Value(Argument, Name))
        return false;
      aOptions.Scenarios.push_back(Name);
    } else if (Argument == "--no-files") {
      aOptions.NoFiles = true;
    } else if (Argument == "--verbose" || Argument == "-v") {
      aOptions.Verbose = true;
    } else if (Argument == "--no-progress") {
      aOptions.Progress = false;
    } else if (Argument.size() > 1 && Argument[0] == '-') {
      aError = "unknown option " + Argument;
      return false;
    } else if (aOptions.Command.empty()) {
      if (Argument != "run" && Argument != "list") {
        aError = "unknown command \"" + Argument + "\" (use run or list)";
        return false;
      }
      aOptions.Command = Argument;
    } else if (aOptions.Target.empty()) {
      aOptions.Target = Argument;
    } else {
      aError = "unexpected argument \"" + Argument + "\"";
      return false;
    }
  }
  if (aOptions.Command.empty()) {
    aError = "no command given";
    return false;
  }
  if (aOptions.Target.empty()) {
    aError = "no module or project file given";
    return false;
  }
  return true;
}

int RunRunner(const TRunnerOptions& aOptions, TRunnerStreams& aStreams) {
  if (aOptions.Command == "help") {
    aStreams.Out << RunnerHelpText();
    return ExitSuccess;
  }
  if (aOptions.Command == "version") {
    aStreams.Out << "kalvoro " << KalvoroVersion << '\n';
    return ExitSuccess;
  }
  if (IsProjectPath(aOptions.Target)) {
#ifdef KALVORO_HAVE_PROJECT
    return RunProject(aOptions, aStreams);
#else
    PrintError(aStreams, "this build cannot open project files");
    return ExitUsageOrLoad;
#endif
  }
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
  return RunRunner(Options, aStreams);
}

} // namespace Kalvoro
