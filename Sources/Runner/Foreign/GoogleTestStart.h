// One start of a GoogleTest program as GoogleTestRunner.h runs it: the
// tests it runs and the state of its run, for the runner's files.
#pragma once

#include "AheadStore.h"
#include "GoogleTestOutcome.h"
#include "GoogleTestOutput.h"
#include "GoogleTestStream.h"
#include "ProgramSchedule.h"
#include "TestProgram.h"

#include <unistd.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Kalvoro {

// One start of a program: its tests and the state of its run.
struct TGoogleTestStart {
  std::size_t Unit = 0;
  const TModule* Module = nullptr;
  std::vector<std::string> Tests; // those it runs, in run order
  std::unique_ptr<TTestProgram> Program;
  std::unique_ptr<TGoogleTestStream> Stream;
  std::string FlagFile;
  std::string Suite;                         // the suite that runs
  std::string Open;                          // the test that runs as the stream says, or empty
  TProgramSchedule::TWatch Watch;            // from the test's start, or the last one's end
  std::string Death;                         // why the runner ended the program
  bool ProgramEnded = false;                 // the stream said TestProgramEnd
  bool Progress = false;                     // a test started in this program
  bool AskedReport = false;                  // it writes its JSON report at exit
  bool Framed = false;                       // the printer's end line gave a verdict
  bool Unclosed = false;                     // a test's verdict needed the report
  std::vector<TGoogleTestPart> OutsideParts; // failures outside a test (a suite's set-up)
  TGoogleTestOutput Output;                  // its output split among its tests
  std::string Report;

  ~TGoogleTestStart() {
    Program.reset(); // kills what still runs
    if (!FlagFile.empty())
      unlink(FlagFile.c_str());
  }
};

// Settles aStart's tests once its program ended and its last events, output
// and report were read: the report's skips, the test that was open, and the
// tests it did not reach (kept by aKeeper when they are settled). A test whose
// skip or failure only a report could tell, in a start that did not ask for
// one, runs again in a start that does (Unclosed).
void SettleEndedStart(TGoogleTestStart& aStart,
                      std::map<std::string, TGoogleTestOutcome>& aOutcomes,
                      TAheadKeeper<TGoogleTestOutcome>& aKeeper);

} // namespace Kalvoro
