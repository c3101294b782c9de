#include "RunnerCore.h"

#include "HostProgram.h"
#include "Interruption.h"
#include "UnitTestBase.h"

#include <csignal>
#include <filesystem>
#include <system_error>

namespace Kalvoro {

namespace {

// True when both names lead to one file: for existing files the same device
// and inode (hard links too), otherwise the same canonical path. A name that
// cannot be made canonical is compared as it is spelt.
bool SameFile(const std::string& aFirst, const std::string& aSecond) {
  if (aFirst.empty() || aSecond.empty())
    return false;
  std::error_code Error;
  if (std::filesystem::equivalent(aFirst, aSecond, Error))
    return true;
  std::error_code First;
  std::error_code Second;
  const auto A = std::filesystem::weakly_canonical(std::filesystem::absolute(aFirst), First);
  const auto B = std::filesystem::weakly_canonical(std::filesystem::absolute(aSecond), Second);
  return First || Second ? aFirst == aSecond : A == B;
}

// Ignores SIGPIPE for its lifetime: a test that writes to a closed pipe gets
// EPIPE, as it expects, instead of killing the runner.
class TIgnoreSigPipe {
public:
  TIgnoreSigPipe() {
    struct sigaction Ignore {};
    Ignore.sa_handler = SIG_IGN;
    sigemptyset(&Ignore.sa_mask);
    FRestore = sigaction(SIGPIPE, &Ignore, &FPrevious) == 0;
  }
  ~TIgnoreSigPipe() {
    if (FRestore)
      sigaction(SIGPIPE, &FPrevious, nullptr);
  }
  TIgnoreSigPipe(const TIgnoreSigPipe&) = delete;
  TIgnoreSigPipe& operator=(const TIgnoreSigPipe&) = delete;

private:
  struct sigaction FPrevious {};
  bool FRestore = false;
};

void Call(const std::function<void(TTestScenario&)>& aHook, TTestScenario& aScenario) {
  if (aHook)
    aHook(aScenario);
}

} // namespace

std::string AbsoluteFileName(const std::string& aName) {
  if (aName.empty())
    return aName;
  std::error_code Error;
  const std::filesystem::path Path = std::filesystem::absolute(aName, Error);
  return Error ? aName : Path.string();
}

void RunScenario(TTestScenario& aScenario, const TSinkFactory& aMakeSink, const TRunStep& aRun,
                 const TRunHooks& aHooks) {
  // Declared first, so that it is freed last, after the hooks have run.
  const std::unique_ptr<TOutput> Sink = aMakeSink ? aMakeSink(aScenario) : nullptr;
  Call(aHooks.Before, aScenario);
  try {
    const TIgnoreSigPipe DuringTheRun;
    if (aRun)
      aRun(aScenario);
    else
      aScenario.Run();
  } catch (...) {
    Call(aHooks.After, aScenario);
    throw;
  }
  Call(aHooks.After, aScenario);
  if (Sink)
    Sink->OutputSummary();
  Call(aHooks.Summary, aScenario);
}

void RunScenarios(const std::vector<TTestScenario*>& aScenarios, const TSinkFactory& aMakeSink,
                  const TRunStep& aRun, const TRunHooks& aHooks) {
  for (TTestScenario* Scenario : aScenarios) {
    // An interrupted or stopped run starts no further scenario.
    if (InterruptSignal() != 0 || (aHooks.Stopped && aHooks.Stopped()))
      break;
    RunScenario(*Scenario, aMakeSink, aRun, aHooks);
  }
}

int CountRunnableMethods(const std::vector<TTestScenario*>& aScenarios) {
  int Count = 0;
  for (const TTestScenario* Scenario : aScenarios)
    for (const TUnitTestBase* UnitTest : Scenario->UnitTestList())
      if (UnitTest->Enabled())
        Count += UnitTest->Methods().Count();
  return Count;
}

void SaveReportFiles(const TPerPage<TPageFile>& aFiles, const TPerPage<TPageText>& aTexts) {
  static const std::vector<std::string> NoLines;
  std::string Failures;
  for (TPageKind Kind : PageKinds) {
    if (!aFiles[Kind].Enabled)
      continue;
    const TPageText& Text = aTexts[Kind];
    try {
      if (Text.Written != nullptr)
        Text.Written->Close();
      else
        SaveLinesToFile(aFiles[Kind].FileName, Text.Lines != nullptr ? *Text.Lines : NoLines);
    } catch (const std::exception& Error) {
      // One file that cannot be written must not cost the others.
      Failures += (Failures.empty() ? "" : "\r") + std::string(Error.what());
    }
  }
  if (!Failures.empty())
    throw Exception(Failures);
}

TPerPage<TPageFile> NamedPageFiles(const TPerPage<std::string>& aNames) {
  TPerPage<TPageFile> Files;
  for (TPageKind Kind : PageKinds)
    Files[Kind] = {!aNames[Kind].empty(), aNames[Kind]};
  return Files;
}

TPerPage<TPageFile> WithoutOverwrittenPages(TPerPage<TPageFile> aFiles) {
  for (TPageKind Kind : PageKinds)
    for (TPageKind Later : PageKinds)
      if (Later > Kind && aFiles[Kind].Enabled && aFiles[Later].Enabled &&
          SameFile(aFiles[Kind].FileName, aFiles[Later].FileName)) {
        aFiles[Kind].Enabled = false;
        break;
      }
  return aFiles;
}

std::string ReportFileConflict(const std::vector<std::string>& aReportFiles,
                               const std::string& aProjectFile,
                               const std::vector<const TModule*>& aModules) {
  struct TGuarded {
    std::string Path;
    std::string What;
  };
  // The installation too: writing over the framework library or the host
  // program would break every later run, not only this one.
  std::vector<TGuarded> Guarded{{"/proc/self/exe", "the running program"}};
  if (const std::string Library = LibraryPath(); !Library.empty())
    Guarded.push_back({Library, "the framework library \"" + Library + "\""});
  if (const std::string Host = HostProgramPath(); !Host.empty())
    Guarded.push_back({Host, "the run host program \"" + Host + "\""});
  if (!aProjectFile.empty())
    Guarded.push_back({aProjectFile, "the project file \"" + aProjectFile + "\""});
  for (const TModule* Module : aModules)
    Guarded.push_back({Module->LoadPath(), "the module \"" + Module->FullFileName() + "\""});
  for (const std::string& Report : aReportFiles) {
    if (Report.empty())
      continue;
    for (const TGuarded& File : Guarded) {
      std::error_code Error;
      if (std::filesystem::equivalent(Report, File.Path, Error))
        return "The report file \"" + Report + "\" is " + File.What +
               ": refused, nothing was run or written";
    }
  }
  return {};
}

} // namespace Kalvoro
