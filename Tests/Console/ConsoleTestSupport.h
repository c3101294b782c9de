// Shared pieces of the console runner tests: running the runner in-process
// with string streams, files and temporary folders.
#pragma once

#include "ConsoleRunner.h"
#include "TestFiles.h"

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <stdlib.h>

namespace ConsoleTest {

using namespace Kalvoro;
namespace fs = std::filesystem;

inline const std::string DemoModule = std::string(KALVORO_EXAMPLES_DIR) + "/Demo.so";
inline const std::string VacuelModule = std::string(KALVORO_EXAMPLES_DIR) + "/Vacuel.bpl";

struct TRun {
  int Code = -1;
  std::string Out;
  std::string Err;
};

inline TRun Runner(const std::vector<std::string>& aArguments) {
  std::ostringstream Out;
  std::ostringstream Err;
  TRunnerStreams Streams{Out, Err, false};
  TRun Result;
  Result.Code = RunnerMain(aArguments, Streams);
  Result.Out = Out.str();
  Result.Err = Err.str();
  return Result;
}

using KalvoroTest::ReadFile;
using KalvoroTest::TScratchDir;

inline std::vector<std::string> Lines(const std::string& aText) {
  std::vector<std::string> Result;
  std::istringstream Stream(aText);
  for (std::string Line; std::getline(Stream, Line);)
    Result.push_back(Line);
  return Result;
}

// A line of standard output without the "FILE:LINE: " that the line of a
// failed check starts with.
inline std::string WithoutPlace(const std::string& aLine) {
  static const std::regex Place(R"(^[^ ]+\.(cpp|h):[0-9]+: )");
  return std::regex_replace(aLine, Place, "");
}

// The lines of standard output, each without the place of its check.
inline std::vector<std::string> LinesWithoutPlaces(const std::string& aText) {
  std::vector<std::string> Result = Lines(aText);
  for (std::string& Line : Result)
    Line = WithoutPlace(Line);
  return Result;
}

} // namespace ConsoleTest
