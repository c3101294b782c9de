// Runs the console runner on a test program of another framework, for the
// tests of its kind: its exit code, its output and its log, and the results
// that its summary gives each method.
#pragma once

#include "TestFiles.h"

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace KalvoroTest {

struct TForeignRun {
  int Code;
  std::string Out;
  std::string Log;
};

inline TForeignRun RunForeign(const TScratchDir& aDir, const std::string& aArguments,
                              const std::string& aEnvironment = {}) {
  const std::string Command = aEnvironment + " " + KALVORO_RUNNER + " " + aArguments + " --log " +
                              aDir.File("log") + " >" + aDir.File("out") + " 2>&1 </dev/null";
  const int Status = std::system(Command.c_str());
  return {WIFEXITED(Status) ? WEXITSTATUS(Status) : -1, ReadFile(aDir.File("out")),
          ReadFile(aDir.File("log"))};
}

// The results of the summary: "SUCCESS   Unit.Method" per method.
inline std::map<std::string, std::string> ForeignResults(const std::string& aOut) {
  std::map<std::string, std::string> Result;
  std::istringstream Lines(aOut);
  for (std::string Line; std::getline(Lines, Line);) {
    for (const char* Word : {"SUCCESS", "FAILURE", "EXCEPTION", "SKIPPED"})
      if (Line.starts_with(Word) && Line.size() > 10 && Line[9] == ' ' && Line[10] != ' ' &&
          Line[10] != '(')
        Result[Line.substr(10)] = Word;
  }
  return Result;
}

} // namespace KalvoroTest
