#include "ConsoleOutput.h"

#include "JUnitReport.h"
#include "ProgressBar.h"
#include "RunnerCore.h"
#include "UnitTestBase.h"

#include <ostream>

namespace Kalvoro {

int RunAndReport(const std::vector<TTestScenario*>& aScenarios, const TRunnerOptions& aOptions,
                 const TReportFiles& aNamedFiles, TRunnerStreams& aStreams) {
  const TReportFiles Files = WithoutOverwrittenPages(aNamedFiles);
  TConsolePages Pages;
  if (!Files.Log.empty())
    Pages.Log = std::make_unique<TLinesFile>(Files.Log);
  if (!Files.Errors.empty())
    Pages.Errors = std::make_unique<TLinesFile>(Files.Errors);
  const bool WithJUnit = !aOptions.JUnitFile.empty();
  TJUnitReport JUnit;
  std::unique_ptr<TProgressBar> Progress;
  if (aOptions.Progress && aStreams.ErrIsTerminal)
    Progress = std::make_unique<TProgressBar>(aStreams.Err, CountRunnableMethods(aScenarios));

  TTestScenario* Current = nullptr;
  std::size_t FirstSummaryLine = 0;
  bool Failed = false;
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
      aStreams.Out << Pages.Summary[I] << '\n';
    const TSummary& Summary = aScenario.GetSummary();
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

  int Code = (Failed || Stopped) ? ExitTestsFailed : ExitSuccess;
  try {
    SaveReportFiles({{!Files.Summary.empty(), Files.Summary, &Pages.Summary},
                     {Pages.Log != nullptr, Files.Log, nullptr, Pages.Log.get()},
                     {Pages.Errors != nullptr, Files.Errors, nullptr, Pages.Errors.get()}});
    if (WithJUnit)
      JUnit.WriteFile(aOptions.JUnitFile);
  } catch (const std::exception& Error) {
    PrintError(aStreams, Error.what());
    Code = ExitUsageOrLoad;
  }
  return Code;
}

} // namespace Kalvoro
