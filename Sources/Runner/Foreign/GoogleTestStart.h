// One start of a GoogleTest program as GoogleTestRunner.h runs it: the
// tests it runs and the state of its run, for the runner's files.
#pragma once

#include "GoogleTestOutput.h"
#include "GoogleTestRunner.h"
#include "GoogleTestStream.h"
#include "TestProgram.h"

#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Kalvoro {

// One start of a program: its tests and the state of its run.
struct TGoogleTestRunner::TStart {
  std::size_t Unit = 0;
  const TModule* Module = nullptr;
  std::vector<std::string> Tests; // those it runs, in run order
  std::unique_ptr<TTestProgram> Program;
  std::unique_ptr<TGoogleTestStream> Stream;
  std::string FlagFile;
  std::string Suite;               // the suite that runs
  std::string Open;                // the test that runs as the stream says, or empty
  std::int64_t OpenedAt = 0;       // when it, or the stretch between tests, began (steady ms)
  std::int64_t KillAt = 0;         // when a test past its limit is killed for good
  std::string Death;               // why the runner ended the program
  bool ProgramEnded = false;       // the stream said TestProgramEnd
  bool Progress = false;           // a test started in this program
  std::vector<TPart> OutsideParts; // failures outside a test (a suite's set-up)
  TGoogleTestOutput Output;        // its output split among its tests
  std::string Report;
  std::size_t Settled = 0; // tests settled as the stream ended them
  bool Done = false;       // all of them: the program is ended

  ~TStart() {
    Program.reset(); // kills what still runs
    if (!FlagFile.empty())
      unlink(FlagFile.c_str());
  }
};

} // namespace Kalvoro
