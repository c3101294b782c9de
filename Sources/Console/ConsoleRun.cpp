#include "ConsoleOutput.h"

#include "JUnitReport.h"
#include "ProgressBar.h"
#include "RunnerCore.h"
#include "UnitTestBase.h"

#include <filesystem>
#include <ostream>
#include <system_error>

namespace Kalvoro {

namespace {
std::string AbsolutePath(const std::string& aName) {
  std::error_code Error;
  const std::filesystem::path Path =
      aName.empty() ? std::filesystem::path() : std::filesystem::absolute(aName, Error);
  return Error || aName.empty() ? aName : Path.string();
}
} // namespace

int RunAndReport(const std::vector<TTestScenario*>& aScenarios, const TRunnerOptions& aOptions,
                 const TReportFiles& aNamedFiles, TRunnerStreams& aStreams) {
  // Every name made absolute now: a test that changes the working directory
  // must not move the files written after the run.
  const TReportFiles Files =
      WithoutOverwrittenPages({AbsolutePath(aNamedFiles.Summary), AbsolutePath(aNamedFiles.Log),
                               AbsolutePath(aNamedFiles.Errors)});
  const std::string JUnitFile = AbsolutePath(aOptions.JUnitFile);
  TConsolePages Pages;
  if (!Files.Log.empty())
    Pages.Log = std::make_unique<TLinesFile>(Files.Log);
  if (!Files.Errors.empty())
    Pages.Errors = std::make_unique<TLinesFile>(Files.Errors);
  const bool WithJUnit = !JUnitFile.empty();
  TJUnitReport JUnit;
  std::unique_ptr<TProgressBar> Progress;
  if (aOptions.Progress && aStreams.ErrIsTerminal)
    Progress = std::make_unique<TProgressBar>(aStreams.Err, CountRunnableMethods(aScenarios));

  TTestScenario* Current = nullptr;
  std::size_t FirstSummaryLine = 0;
  bool Failed = false;
  int MethodsRun = 0;
  TRunHooks Hooks;
  Hooks.Before = [&](TTestScenario& aScenario) {
    Current = &aScenario;
    FirstSummaryLine = Pages.Summary.size();
    if (WithJUnit)
      JUnit.Attach(&aScenario);
    if (Progress)
      Progress->Attach(&aScenario);
  };
  Hooks.After = [&](TTestScenario&) {
    if (Progress)
      Progress->Detach();
    if (WithJUnit)
      JUnit.Detach();
  };
  Hooks.Summary = [&](TTestScenario& aScenario) {
    if (Progress)
      Progress->Clear();
    for (std::size_t I = FirstSummaryLine; I < Pages.Summary.size(); ++I)
      aStreams.Out << TerminalText(Pages.Summary[I]) << '\n';
    const TSummary& Summary = aScenario.GetSummary();
    MethodsRun += Summary.MethodSuccess() + Summary.MethodFailure() + Summary.MethodException();
    if (Summary.MethodFailure() > 0 || Summary.MethodException() > 0)
      Failed = true;
  };
  const TSinkFactory MakeSink = [&](TTestScenario& aScenario) {
    return std::make_unique<TConsoleOutput>(&aScenario, Pages, aStreams, aOptions.Verbose,
                                            Progress.get());
  };

  bool Stopped = true;
  try {
    RunScenarios(aScenarios, MakeSink, {}, Hooks);
    Stopped = false;
  } catch (const std::exception& Error) {
    if (Progress)
      Progress->Clear();
    PrintError(aStreams, "The run of \"" + Current->Name() + "\" was stopped: " + Error.what());
  } catch (...) {
    if (Progress)
      Progress->Clear();
    PrintError(aStreams, "The run of \"" + Current->Name() +
                             "\" was stopped by an error that carries no message");
  }
  Progress.reset();
  aStreams.Out.flush();
  if (!Stopped && MethodsRun == 0)
    PrintError(aStreams, "No test method ran");

  int Code = (Failed || Stopped) ? ExitTestsFailed : ExitSuccess;
  // Every report file is tried; each one that cannot be written is told.
  auto Report = [&](const std::string& aFailures) {
    std::size_t Start = 0;
    for (std::size_t End; (End = aFailures.find('\r', Start)) != std::string::npos; Start = End + 1)
      PrintError(aStreams, aFailures.substr(Start, End - Start));
    PrintError(aStreams, aFailures.substr(Start));
    Code = ExitUsageOrLoad;
  };
  try {
    SaveReportFiles({{!Files.Summary.empty(), Files.Summary, &Pages.Summary},
                     {Pages.Log != nullptr, Files.Log, nullptr, Pages.Log.get()},
                     {Pages.Errors != nullptr, Files.Errors, nullptr, Pages.Errors.get()}});
  } catch (const std::exception& Error) {
    Report(Error.what());
  }
  try {
    if (WithJUnit)
      JUnit.WriteFile(JUnitFile);
  } catch (const std::exception& Error) {
    Report(Error.what());
  }
  return Code;
}

} // namespace Kalvoro
