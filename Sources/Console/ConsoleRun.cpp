#include "ConsoleOutput.h"

#include "ConsoleSelection.h"

#include "CrashGuard.h"
#include "Interruption.h"
#include "JUnitReport.h"
#include "KindRunner.h"
#include "ProgressBar.h"
#include "RunnerCore.h"
#include "UnitTestBase.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <ostream>
#include <system_error>
#include <thread>

namespace Kalvoro {

namespace {
// The method of aScenario that is running, as "TUnitTest.Method".
std::string RunningMethod(const TTestScenario* aScenario) {
  if (aScenario != nullptr)
    for (const TUnitTestBase* UnitTest : aScenario->UnitTestList()) {
      const int Index = UnitTest->CurrentMethodIndex();
      if (Index >= 0 && Index < UnitTest->Methods().Count())
        return UnitTest->Name() + "." + UnitTest->Methods().GetItem(Index)->Name();
    }
  return "(none)";
}

// While it lives, a call of exit() or quick_exit() that no guarded phase
// caught runs aOnExit and ends the process with 1.
std::function<void()> ExitDuringRun;

void OnProcessExit() {
  if (!ExitDuringRun)
    return;
  const std::function<void()> Handler = std::move(ExitDuringRun);
  ExitDuringRun = nullptr;
  Handler();
  std::fflush(nullptr);
  EndProcessNow(ExitTestsFailed);
}

class TExitDuringRun {
public:
  explicit TExitDuringRun(std::function<void()> aOnExit) {
    static const bool Registered =
        std::atexit(OnProcessExit) == 0 && std::at_quick_exit(OnProcessExit) == 0;
    if (Registered)
      ExitDuringRun = std::move(aOnExit);
  }
  ~TExitDuringRun() { ExitDuringRun = nullptr; }
  TExitDuringRun(const TExitDuringRun&) = delete;
  TExitDuringRun& operator=(const TExitDuringRun&) = delete;
};

// The reports are written: the modules' unloading and the process's exit
// that follow (static destructors run as always, coverage data is written)
// may take at most aSeconds, after which the process ends with aCode.
void BoundTheExit(int aCode, double aSeconds) {
  std::thread([aCode, aSeconds] {
    std::this_thread::sleep_for(std::chrono::duration<double>(aSeconds));
    std::fflush(nullptr);
    EndProcessNow(aCode);
  }).detach();
}

} // namespace

int RunAndReport(const std::vector<TTestScenario*>& aScenarios, const TRunnerOptions& aOptions,
                 const TPerPage<TPageFile>& aFiles, TRunnerStreams& aStreams) {
  // Every name made absolute now: a test that changes the working directory
  // must not move the files written after the run.
  TPerPage<TPageFile> Files = aFiles;
  for (TPageFile& File : Files.Items)
    File.FileName = AbsoluteFileName(File.FileName);
  Files = WithoutOverwrittenPages(Files);
  const std::string JUnitFile = AbsoluteFileName(aOptions.JUnitFile);
  // The log and the errors go to their files as the lines arrive.
  TConsolePages Pages;
  TPerPage<TPageText> Texts;
  Texts[pkSummary].Lines = &Pages.Summary;
  for (TPageKind Kind : {pkLog, pkErrors})
    if (Files[Kind].Enabled) {
      Pages.Files[Kind] = std::make_unique<TLinesFile>(Files[Kind].FileName);
      Texts[Kind].Written = Pages.Files[Kind].get();
    }
  const bool WithJUnit = !JUnitFile.empty();
  TJUnitReport JUnit;
  TConsoleSelection Selection(aScenarios, aOptions);
  std::unique_ptr<TProgressBar> Progress;
  if (aOptions.Progress && aStreams.ErrIsTerminal)
    Progress = std::make_unique<TProgressBar>(aStreams.Err, Selection.MethodsPerRun());

  TTestScenario* Current = nullptr;
  std::size_t FirstSummaryLine = 0;
  bool Failed = false;
  int MethodsRun = 0;
  TRunHooks Hooks;
  Hooks.Before = [&](TTestScenario& aScenario) {
    Current = &aScenario;
    FirstSummaryLine = Pages.Summary.size();
    Selection.Attach(aScenario);
    if (WithJUnit)
      JUnit.Attach(&aScenario);
    if (Progress)
      Progress->Attach(&aScenario);
  };
  Hooks.After = [&](TTestScenario& aScenario) {
    Selection.Detach(aScenario);
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

  int Code = ExitSuccess;
  // Every report file is tried; each one that cannot be written is told.
  auto Report = [&](const std::string& aFailures) {
    std::size_t Start = 0;
    for (std::size_t End; (End = aFailures.find('\r', Start)) != std::string::npos; Start = End + 1)
      PrintError(aStreams, aFailures.substr(Start, End - Start));
    PrintError(aStreams, aFailures.substr(Start));
    Code = ExitUsageOrLoad;
  };
  auto SaveFiles = [&] {
    try {
      SaveReportFiles(Files, Texts);
    } catch (const std::exception& Error) {
      Report(Error.what());
    }
    try {
      if (WithJUnit)
        JUnit.WriteFile(JUnitFile);
    } catch (const std::exception& Error) {
      Report(Error.what());
    }
  };

  // Each module's methods run through its kind: a Kalvoro module's in hosts
  // (this process only reads what they report) or, in process, here.
  TKindRunner Kinds(!aOptions.Hosts);
  Kinds.SetJobs(aOptions.Jobs, aOptions.Serial);
  if (!aOptions.JobsNote.empty())
    PrintError(aStreams, aOptions.JobsNote);
  // The bar also counts what finishes ahead of the run, while it runs.
  const TRunStep RunStep = [&](TTestScenario& aScenario) {
    const auto Watch = [&](IRunProgress* aSource) {
      if (Progress)
        Progress->Watch(aSource);
    };
    Watch(&Kinds);
    try {
      Kinds.Run(aScenario);
    } catch (...) {
      Watch(nullptr);
      throw;
    }
    Watch(nullptr);
  };
  bool Stopped = true;
  int Interrupted = 0;
  {
    // Test code that ends the process where no phase catches it (exit from a
    // thread of its own) must not pass for success: the files get what the
    // run knows, the method is named, and the code is 1.
    const TExitDuringRun Guard([&] {
      if (Progress)
        Progress->Clear();
      PrintError(aStreams, "The test method \"" + RunningMethod(Current) +
                               "\" ended the process during the run");
      aStreams.Out.flush();
      SaveFiles();
      aStreams.Err.flush();
    });
    // SIGINT or SIGTERM ends the phase that runs and stops the run; what it
    // knows is written below. A second signal ends the process at once,
    // unless it comes while the hosts' runner waits for a host: then it kills
    // the host and the run still writes what it knows.
    const TInterruptScope Interruption;
    try {
      Selection.Repeat(aStreams.Out, WithJUnit ? &JUnit : nullptr, [&] {
        if (Progress)
          Progress = std::make_unique<TProgressBar>(aStreams.Err, Selection.MethodsPerRun());
        RunScenarios(aScenarios, MakeSink, RunStep, Hooks);
        if (InterruptSignal() != 0)
          return TRunOutcome::Stopped;
        return Failed ? TRunOutcome::Failed : TRunOutcome::Passed;
      });
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
    Interrupted = Interruption.Signal();
  }
  Progress.reset();
  aStreams.Out.flush();
  if (Interrupted != 0) {
    PrintError(aStreams,
               std::string("The run was interrupted by ") + InterruptSignalName(Interrupted));
    JUnit.SetInterrupted(InterruptSignalName(Interrupted));
  } else if (!Stopped && MethodsRun == 0) {
    PrintError(aStreams, Selection.NothingMatched().empty() ? "No test method ran"
                                                            : Selection.NothingMatched());
  }

  Code = (Failed || Stopped) ? ExitTestsFailed : ExitSuccess;
  SaveFiles();
  const int Outcome = Interrupted != 0 ? ExitInterrupted + Interrupted : Code;
  if (aStreams.BoundExit && !aOptions.Hosts && aOptions.TimeLimit > 0)
    BoundTheExit(Outcome, aOptions.TimeLimit);
  return Outcome;
}

} // namespace Kalvoro
