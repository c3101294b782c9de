// The runner core that the console runner and the manager share, so that the
// two programs can never disagree on how scenarios run and what a run writes:
// one scenario run with its own sink, Start All, and the report files.
#pragma once

#include "IOutput.h"
#include "ReportPages.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Kalvoro {

class TModule;
class TTestScenario;

// Makes the sink that listens to one scenario run.
using TSinkFactory = std::function<std::unique_ptr<TOutput>(TTestScenario& aScenario)>;
// Carries out the scenario's Run: the manager does it inside its progress
// window; empty calls TTestScenario::Run directly.
using TRunStep = std::function<void(TTestScenario& aScenario)>;

// Called around each scenario of a run (the console runner attaches its JUnit
// report and progress bar there). After is called whether or not the run
// raised; Summary once the summary report has been written. Stopped, when
// set, is asked before each scenario of Start All: true starts no further one.
struct TRunHooks {
  std::function<void(TTestScenario&)> Before;
  std::function<void(TTestScenario&)> After;
  std::function<void(TTestScenario&)> Summary;
  std::function<bool()> Stopped;
};

// Runs one scenario with a fresh sink attached for exactly its run: makes the
// sink, runs the scenario (aRun), has the sink write the summary report, and
// frees the sink, also when the run or the summary raises; the error then goes
// on to the caller. An empty aMakeSink runs the scenario without a sink.
void RunScenario(TTestScenario& aScenario, const TSinkFactory& aMakeSink, const TRunStep& aRun = {},
                 const TRunHooks& aHooks = {});

// Start All: runs the scenarios one after another in the given order (disabled
// ones too), each through RunScenario. The first error stops the run and goes
// on to the caller; an interruption (InterruptSignal) or a stop (aHooks'
// Stopped) starts no further one.
void RunScenarios(const std::vector<TTestScenario*>& aScenarios, const TSinkFactory& aMakeSink,
                  const TRunStep& aRun = {}, const TRunHooks& aHooks = {});

// The number of test methods that the scenarios will run: the methods of their
// enabled unit tests (the progress total).
int CountRunnableMethods(const std::vector<TTestScenario*>& aScenarios);

// What one page of a run holds when it is saved: its lines, or the file that
// its lines went to as they arrived (the console runner's log and errors),
// whose closing raises its first write error. Neither: an empty page.
struct TPageText {
  const std::vector<std::string>* Lines = nullptr;
  TLinesFile* Written = nullptr;
};

// Writes the enabled pages in the order of their kinds (Summary, Log,
// Errors), each whole, every line ended by CR LF, replacing the file. Every
// page that can be written is written; when some cannot ("Unable to write to
// PATH: reason"; an empty name cannot be written either), one Exception is
// raised after the last page, holding each failure's text, separated by CR.
void SaveReportFiles(const TPerPage<TPageFile>& aFiles, const TPerPage<TPageText>& aTexts);

// aName made absolute against the working directory as it is now (an empty
// name, or one that cannot be made absolute, stays as it is). Both programs fix
// their report files' names so before a run: a test that changes the working
// directory must not move the files written after it.
std::string AbsoluteFileName(const std::string& aName);

// The pages written to the files named: a page with a name is enabled, one
// without is not (the console runner's --summary, --log and --errors).
TPerPage<TPageFile> NamedPageFiles(const TPerPage<std::string>& aNames);

// Of enabled pages named to one file only the last in the order Summary, Log,
// Errors would remain after saving them in turn: the others are disabled
// (names compared as files, not as spellings).
TPerPage<TPageFile> WithoutOverwrittenPages(TPerPage<TPageFile> aFiles);

// Checks the report files of a run (empty names skipped) before any of them is
// opened: a report file that is the same file (device and inode, not the
// spelling) as aProjectFile, as the file of one of aModules, as the running
// program itself, the framework library it loaded or the run host program
// would destroy it. Returns the refusal for the first such
// file, or an empty text when none is.
std::string ReportFileConflict(const std::vector<std::string>& aReportFiles,
                               const std::string& aProjectFile,
                               const std::vector<const TModule*>& aModules);

} // namespace Kalvoro
