// The console runner's choice of what runs and how often: --filter, --shard
// and the shard, status and report variables that test engines set in the
// environment, --repeat, --until-failure, --shuffle and --seed.
#pragma once

#include "ConsoleRunner.h"
#include "RunSelection.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace Kalvoro {

class TJUnitReport;

// Takes from the environment what the command line leaves open: the shard
// (TEST_TOTAL_SHARDS, TEST_SHARD_INDEX; --shard wins when both are given) and
// the JUnit file (XML_OUTPUT_FILE, unless --junit is given); creates or
// touches TEST_SHARD_STATUS_FILE when it is set, the sign that the runner
// shards. aGetEnv stands for getenv. False with aError on a bad value.
bool ApplyRunnerEnvironment(TRunnerOptions& aOptions, std::string& aError,
                            const std::function<const char*(const char*)>& aGetEnv);

// How one run of the repeated selection ended.
enum class TRunOutcome { Passed, Failed, Stopped };

class TConsoleSelection {
public:
  // aOptions.Shard must be valid (ApplyRunnerEnvironment has checked it).
  TConsoleSelection(const std::vector<TTestScenario*>& aScenarios, const TRunnerOptions& aOptions);

  // The methods that one run takes (the progress total).
  int MethodsPerRun() const;
  // Called before and after each scenario's run: the plan is set only then.
  void Attach(TTestScenario& aScenario);
  void Detach(TTestScenario& aScenario);
  // Runs aRunOnce as often as the options say: once; or --repeat times; or,
  // with --until-failure, until a run fails (at most --repeat times when
  // given). Prints "Run N of M" before each of several runs and, shuffled,
  // the line that repeats the run's order. A Stopped run ends the repeats.
  void Repeat(std::ostream& aOut, TJUnitReport* aJUnit,
              const std::function<TRunOutcome()>& aRunOnce);
  // The message for a filter that matches no method, else empty.
  std::string NothingMatched() const;

private:
  const TRunnerOptions& FOptions;
  std::unique_ptr<TRunSelection> FSelection; // nullptr: everything, in order
  int FAllMethods = 0;
  std::uint64_t FFirstNumber = 0;
};

} // namespace Kalvoro
