// The console runner: loads a module or a project, runs its scenarios as the
// manager's Start All does, prints the error list and the summary, writes the
// report files, and tells the outcome by its exit code.
#pragma once

#include "ReportPages.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace Kalvoro {

struct TProjectOptions;

// Exit codes.
inline constexpr int ExitSuccess = 0;     // every method succeeded
inline constexpr int ExitTestsFailed = 1; // a method failed or raised
inline constexpr int ExitUsageOrLoad = 2; // wrong arguments, or nothing could be loaded
// A run stopped by SIGINT or SIGTERM ends with this plus the signal: 130, 143.
inline constexpr int ExitInterrupted = 128;

struct TRunnerOptions {
  std::string Command; // "run" or "list"
  std::string Target;  // a module file or a project file (.kvr)
  std::vector<std::string> Scenarios;
  std::string JUnitFile;
  TPerPage<std::string> PageFiles; // --summary, --log and --errors
  bool NoFiles = false;
  bool Verbose = false;
  bool Progress = true;
  double TimeLimit = 0; // seconds that each Init, method and Exit may run; 0: no limit
  // "--hosts" (true) or "--in-process" (false) as given; unset: not given.
  std::optional<bool> HostsGiven;
  // Whether the tests run in hosts; settled by ResolveRunOptions.
  bool Hosts = true;
  // Unit tests run at once ("-j N"); 0: not given, the project's (settled
  // by ResolveRunOptions, with the reason when it runs them one at a time).
  int Jobs = 0;
  std::string JobsNote;
  // Unit tests that never run beside another ("--serial PATTERN"); unset:
  // the project's.
  std::optional<std::string> SerialGiven;
  std::string Serial;
  std::string Filter; // "POSITIVE[-NEGATIVE]" over "TUnitTest.Method"; empty: all
  std::string Shard;  // "INDEX/COUNT"; empty: the environment's, or all
  int Repeat = 0;     // runs of the selection; 0: not given (one, or no limit
                      // with UntilFailure)
  bool UntilFailure = false;
  bool Shuffle = false;
  bool ShuffleNumberGiven = false;
  unsigned long long ShuffleNumber = 0;
};

// Where the runner writes; tests pass string streams.
struct TRunnerStreams {
  std::ostream& Out;
  std::ostream& Err;
  bool ErrIsTerminal = false;
  // The program's own run (not a test's call): a run in process with a time
  // limit then bounds its exit once the reports are written, since a
  // module's static destructor that hangs must not hang the program.
  bool BoundExit = false;
};

// Parses the arguments after the program name. On an error returns false and
// sets aError; "--help" and "--version" set Command to "help" or "version".
bool ParseRunnerArguments(const std::vector<std::string>& aArguments, TRunnerOptions& aOptions,
                          std::string& aError);

// Settles where the tests run and their time limit: what the command line
// gives wins over the project's options (aProject null: a module, which runs
// in hosts with no time limit unless told otherwise).
void ResolveRunOptions(TRunnerOptions& aOptions, const TProjectOptions* aProject);

// The text of "kalvoro --help".
std::string RunnerHelpText();

// Carries out parsed options; returns the exit code.
int RunRunner(const TRunnerOptions& aOptions, TRunnerStreams& aStreams);

// The whole program: arguments after the program name in, exit code out.
int RunnerMain(const std::vector<std::string>& aArguments, TRunnerStreams& aStreams);

// The whole program: the runner on the process's arguments and streams,
// ending what its runs left behind; returns the exit code. The kalvoro
// program is this alone; a program with kinds of its own registers them
// (TestKind.h) first.
int RunnerProgram(int argc, char** argv);

// True when the path names a project file rather than a module.
bool IsProjectPath(const std::string& aPath);

} // namespace Kalvoro
