#include "ProgramSchedule.h"

#include "Interruption.h"

#include <algorithm>
#include <chrono>
#include <csignal>

namespace Kalvoro {

void TProgramSchedule::SetJobs(int aJobs, TSerialTest aSerial) {
  FJobs = std::max(aJobs, 1);
  FSerial = std::move(aSerial);
}

void TProgramSchedule::Clear() {
  FUnits.clear();
  FIndex.clear();
}

std::size_t TProgramSchedule::UnitOf(const TUnitTestBase& aUnitTest) {
  // One job: the module is the unit, as one start runs it faster.
  const void* Part = FJobs > 1 ? static_cast<const void*>(&aUnitTest) : nullptr;
  const auto [Found, Added] = FIndex.try_emplace({aUnitTest.Module(), Part}, FUnits.size());
  if (Added)
    FUnits.push_back({FJobs > 1 && FSerial && FSerial(aUnitTest)});
  return Found->second;
}

bool TProgramSchedule::Busy() const {
  return std::any_of(FUnits.begin(), FUnits.end(),
                     [](const TUnit& aUnit) { return aUnit.Running; });
}

std::size_t TProgramSchedule::Next(std::size_t aWanted, bool aAhead,
                                   const TPending& aPending) const {
  int Running = 0;
  for (const TUnit& Unit : FUnits)
    if (Unit.Running) {
      if (Unit.Serial)
        return None;
      ++Running;
    }
  if (Running >= FJobs)
    return None;
  if (!FUnits[aWanted].Running && aPending(aWanted))
    return FUnits[aWanted].Serial && Busy() ? None : aWanted;
  if (!aAhead)
    return None;
  for (std::size_t Unit = aWanted + 1; Unit < FUnits.size(); ++Unit) {
    if (FUnits[Unit].Running || FUnits[Unit].GaveUp || !aPending(Unit))
      continue;
    return FUnits[Unit].Serial ? None : Unit;
  }
  return None;
}

void TProgramSchedule::LetEnd(bool aStopped, const std::function<bool()>& aRunning,
                              const std::function<void()>& aPump) const {
  const auto Until = std::chrono::steady_clock::now() + std::chrono::seconds(EndGrace);
  while (!aStopped && InterruptSignal() == 0 && aRunning() &&
         std::chrono::steady_clock::now() < Until)
    aPump();
}

void TProgramSchedule::LetFinish(bool aStopped, const std::function<bool()>& aRunning,
                                 const std::function<void()>& aPump) const {
  if (FJobs <= 1 || (!aStopped && InterruptSignal() == 0) || !aRunning())
    return;
  const TTakeSecondInterruption Second;
  const auto Grace = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  // A Ctrl+C is a first press of Stop: the starts finish however long they
  // take, and a second one ends them; a SIGTERM (a job's time-out, which
  // kills soon after) gives them the serial run's grace.
  while (aRunning() && !InterruptedAgain() &&
         (InterruptSignal() != SIGTERM || std::chrono::steady_clock::now() < Grace))
    aPump();
}

} // namespace Kalvoro
