#include "ConsoleRunner.h"
#include "Descendants.h"
#include "Formatters.h"

#include <iostream>
#include <unistd.h>

namespace Kalvoro {

int RunnerProgram(int argc, char** argv) {
  // Dates and times in the reports follow the user's regional separators.
  InstallLocaleFormatSettings();
  // What a test started and its host left when it died comes here, and is
  // ended before the runner exits: nothing a run started is left.
  AdoptOrphans();
  // Standard output stays in step with C's stdout: what a test prints with
  // printf and the runner's lines share one buffer and keep their order.
  std::vector<std::string> Arguments(argv + 1, argv + argc);
  TRunnerStreams Streams{std::cout, std::cerr, isatty(STDERR_FILENO) != 0, true};
  const int Code = RunnerMain(Arguments, Streams);
  EndDescendants();
  std::cout.flush();
  // Output that was lost (a full disk, a closed pipe) must not pass for success.
  if (!std::cout) {
    std::cerr << "kalvoro: Unable to write to standard output.\n";
    return ExitUsageOrLoad;
  }
  return Code;
}

} // namespace Kalvoro
