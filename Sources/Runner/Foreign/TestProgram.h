// A test program of another framework, started as a process of its own: in
// a process group and session of its own, standard input from /dev/null,
// standard output on a pseudo-terminal (raw, not its controlling terminal, so
// that each line arrives as it is printed), standard error on a pipe apart,
// and the framework's report on descriptor 3 (a pipe), where nothing the
// tests print can reach it. The environment is the runner's without the test
// variables that change what a framework runs.
#pragma once

#include "TestKind.h"

#include <sys/types.h>

#include <string>
#include <vector>

namespace Kalvoro {

struct TProgramStart {
  std::string Path;
  std::vector<std::string> Arguments;
  std::vector<std::string> Environment; // "NAME=VALUE" added to the scrubbed one
  std::string Directory;                // empty: the program's own folder
};

class TModule;

// The start of aModule's program with aArguments and aEnvironment first,
// then the module's own settings (a relative working directory counts from
// the module's base folder, a project file's). Raises Exception with
// ModuleFileChangedText where the file is no longer the one listed.
TProgramStart ModuleProgramStart(const TModule& aModule, std::vector<std::string> aArguments,
                                 std::vector<std::string> aEnvironment);

class TTestProgram {
public:
  // Starts the program; raises Exception with the reason when it cannot.
  explicit TTestProgram(const TProgramStart& aStart);
  // Kills the program's group where it still runs, and reaps it.
  ~TTestProgram();
  TTestProgram(const TTestProgram&) = delete;
  TTestProgram& operator=(const TTestProgram&) = delete;

  // The descriptors to wait on: output, errors and report while open.
  std::vector<int> Descriptors() const;
  // Appends what the channel holds now without waiting; false once it is at
  // its end (and closed).
  bool ReadOutput(std::string& aInto) { return Drain(FOutput, aInto); }
  bool ReadErrors(std::string& aInto) { return Drain(FErrors, aInto); }
  bool ReadReport(std::string& aInto) { return Drain(FReport, aInto); }

  // Whether the process has ended (reaped without waiting).
  bool Ended();
  // How it ended: "exited with code N" or "ended by SIGSEGV".
  std::string EndText() const;
  bool ExitedNormally() const;
  int ExitCode() const;
  // Sends aSignal to the program's whole group.
  void Signal(int aSignal);

  // Reads every channel until the program ends (what its children still
  // hold open is not waited for), or kills it after aSeconds (< 0: no
  // limit): false then.
  bool Finish(double aSeconds, const TWaitHook& aWait, std::string& aOutput, std::string& aErrors,
              std::string& aReport);

  // The environment variables that test frameworks read to change what
  // they run (and Bazel's), removed from a test program's environment.
  static bool ScrubbedVariable(const std::string& aName);

private:
  static bool Drain(int& aDescriptor, std::string& aInto);

  pid_t FPid = -1;
  int FStatus = 0;
  bool FEnded = false;
  int FOutput = -1;
  int FErrors = -1;
  int FReport = -1;
};

} // namespace Kalvoro
