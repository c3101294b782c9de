// The console runner's terminal side of a run: error lines on stderr, the sink
// that writes the pages of a run and echoes what the user reads, and the run
// itself through the runner core.
#pragma once

#include "ConsoleRunner.h"
#include "IOutput.h"
#include "ReportPages.h"
#include "RunListener.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Kalvoro {

class TProgressBar;
class TTestScenario;

// aText as it may reach a terminal: control characters shown escaped (a line
// break as \n, a carriage return as \r, others as \xNN; tabs stay), so that
// no text from test code can move the cursor or forge a line.
std::string TerminalText(std::string_view aText);

// Prints "kalvoro: TEXT." on the error stream, carriage returns as line breaks.
void PrintError(TRunnerStreams& aStreams, const std::string& aText);

// Where the pages of a run go: the log and the error list to their files as
// the lines arrive (so that a long run is not held in memory), the summary
// into memory, to be printed after each scenario and saved at the end.
struct TConsolePages {
  TPerPage<std::unique_ptr<TLinesFile>> Files; // the log's and the errors' (never the summary's)
  std::vector<std::string> Summary;
};

// Writes the pages' lines and echoes error lines (or, verbose, log lines) as
// they arrive. When the log goes nowhere, the sink asks only for the messages
// of the error list, so that passing checks and progress are not built for it.
//
// Echoed lines are flushed as they come (TFlushRule), so that they show at
// once and in order with what the tests print themselves; so are the lines
// of the files. When a method begins, everything is flushed, so that the tail
// of a flood never waits while a method hangs.
class TConsoleOutput : public TOutput, public IRunListener {
public:
  TConsoleOutput(TTestScenario* aScenario, TConsolePages& aPages, TRunnerStreams& aStreams,
                 bool aVerbose, TProgressBar* aProgress);
  ~TConsoleOutput() override;

protected:
  void WriteLog(const std::string& aText) override;
  void WriteError(const std::string& aText) override;
  void WriteSummary(const std::string& aText) override;

private:
  void WriteToFile(TPageKind aKind, const std::string& aText);
  void Echo(const std::string& aText);
  void HandOver();
  // A method begins: everything written so far is handed over.
  void PhaseStart(TRunPhase aPhase, const TProgressMessage& aMessage) override;

  TConsolePages& FPages;
  TRunnerStreams& FStreams;
  bool FVerbose;
  TProgressBar* FProgress;
  bool FWatchesMethods = false;
  TFlushRule FEchoFlushRule;
};

// Runs the scenarios through the runner core, as Start All does, printing the
// error list as it arrives and each summary after its scenario, then writes
// the enabled report files and the JUnit report. Returns the exit code.
int RunAndReport(const std::vector<TTestScenario*>& aScenarios, const TRunnerOptions& aOptions,
                 const TPerPage<TPageFile>& aFiles, TRunnerStreams& aStreams);

} // namespace Kalvoro
