#include "ConsoleSelection.h"

#include "JUnitReport.h"
#include "RunnerCore.h"

#include <cerrno>
#include <cstring>
#include <ostream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Kalvoro {

namespace {

const char* Variable(const std::function<const char*(const char*)>& aGetEnv, const char* aName) {
  const char* Value = aGetEnv(aName);
  return Value != nullptr && *Value != '\0' ? Value : nullptr;
}

// Creates the file, or sets its times to now when it exists.
bool TouchFile(const std::string& aPath, std::string& aError) {
  const int Handle = open(aPath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (Handle < 0 || futimens(Handle, nullptr) != 0) {
    aError = "Unable to write to " + aPath + ": " + std::strerror(errno);
    if (Handle >= 0)
      close(Handle);
    return false;
  }
  close(Handle);
  return true;
}

} // namespace

bool ApplyRunnerEnvironment(TRunnerOptions& aOptions, std::string& aError,
                            const std::function<const char*(const char*)>& aGetEnv) {
  TShard Shard;
  if (!ChooseShard(aOptions.Shard, Variable(aGetEnv, "TEST_TOTAL_SHARDS"),
                   Variable(aGetEnv, "TEST_SHARD_INDEX"), Shard, aError))
    return false;
  aOptions.Shard = std::to_string(Shard.Index) + "/" + std::to_string(Shard.Count);
  if (const char* Xml = Variable(aGetEnv, "XML_OUTPUT_FILE");
      Xml != nullptr && aOptions.JUnitFile.empty())
    aOptions.JUnitFile = Xml;
  if (const char* Status = Variable(aGetEnv, "TEST_SHARD_STATUS_FILE"))
    return TouchFile(Status, aError);
  return true;
}

TConsoleSelection::TConsoleSelection(const std::vector<TTestScenario*>& aScenarios,
                                     const TRunnerOptions& aOptions)
    : FOptions(aOptions), FAllMethods(CountRunnableMethods(aScenarios)) {
  TShard Shard;
  std::string Error;
  if (!aOptions.Shard.empty() && !ParseShard(aOptions.Shard, Shard, Error))
    throw Exception(Error);
  const bool Shuffled = aOptions.Shuffle || aOptions.ShuffleNumberGiven;
  if (aOptions.Filter.empty() && Shard.Count == 1 && !Shuffled)
    return;
  FSelection = std::make_unique<TRunSelection>(aScenarios, TNameFilter(aOptions.Filter), Shard);
  if (Shuffled)
    FFirstNumber = aOptions.ShuffleNumberGiven ? aOptions.ShuffleNumber : RandomShuffleNumber();
}

int TConsoleSelection::MethodsPerRun() const {
  return FSelection ? FSelection->Chosen() : FAllMethods;
}

void TConsoleSelection::Attach(TTestScenario& aScenario) {
  if (FSelection)
    aScenario.SetRunPlan(FSelection.get());
}

void TConsoleSelection::Detach(TTestScenario& aScenario) {
  if (FSelection)
    aScenario.SetRunPlan(nullptr);
}

void TConsoleSelection::Repeat(std::ostream& aOut, TJUnitReport* aJUnit,
                               const std::function<TRunOutcome()>& aRunOnce) {
  // 0: no limit (--until-failure without --repeat).
  const int Limit = FOptions.Repeat > 0 ? FOptions.Repeat : FOptions.UntilFailure ? 0 : 1;
  const bool Several = Limit != 1;
  const bool Shuffled = FOptions.Shuffle || FOptions.ShuffleNumberGiven;
  for (int Run = 1; Limit == 0 || Run <= Limit; ++Run) {
    if (Several) {
      aOut << "Run " << Run;
      if (Limit > 0)
        aOut << " of " << Limit;
      aOut << '\n';
    }
    if (Shuffled) {
      // Each run its own order; the number printed gives it back.
      const std::uint64_t Number = FFirstNumber + static_cast<std::uint64_t>(Run - 1);
      FSelection->SetShuffle(Number);
      aOut << "Shuffled: repeat this order with --seed " << Number << '\n';
    }
    if (aJUnit != nullptr && Several)
      aJUnit->SetRunLabel("run " + std::to_string(Run) + "/");
    const TRunOutcome Outcome = aRunOnce();
    if (Outcome == TRunOutcome::Stopped ||
        (Outcome == TRunOutcome::Failed && FOptions.UntilFailure))
      break;
    // A run of nothing cannot fail: repeating it would never end.
    if (MethodsPerRun() == 0)
      break;
  }
}

std::string TConsoleSelection::NothingMatched() const {
  if (!FSelection)
    return {};
  if (!FOptions.Filter.empty() && FSelection->Passed() == 0)
    return "The filter \"" + FOptions.Filter + "\" matches no test method";
  if (FSelection->Passed() > 0 && FSelection->Chosen() == 0)
    return "Shard " + FOptions.Shard + " takes none of the " +
           std::to_string(FSelection->Passed()) + " test methods";
  return {};
}

} // namespace Kalvoro
