#include "ProgramSchedule.h"

#include "CrashGuard.h"
#include "Interruption.h"
#include "TestProgram.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <limits>

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

bool TProgramSchedule::StartWhatMay(std::size_t aUnit, bool aStopped, const TPending& aPending,
                                    const std::function<void(std::size_t aUnit)>& aStart,
                                    std::string& aError) {
  const bool Ahead = !aStopped && InterruptSignal() == 0;
  for (std::size_t Unit; (Unit = Next(aUnit, Ahead, aPending)) != None;) {
    try {
      aStart(Unit);
    } catch (const std::exception& Error) {
      if (Unit == aUnit) {
        aError = Error.what();
        return false;
      }
      GiveUpAhead(Unit);
    }
  }
  return true;
}

std::int64_t TProgramSchedule::NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::int64_t TProgramSchedule::Watch(TTestProgram& aProgram, TWatch& aWatch, bool aTimed,
                                     double aLimit, std::string& aDeath) {
  const std::int64_t Now = NowMs();
  if (aWatch.KillAt != 0) {
    if (Now >= aWatch.KillAt)
      aProgram.Signal(SIGKILL);
    return aWatch.KillAt;
  }
  if (!aTimed || aLimit <= 0)
    return std::numeric_limits<std::int64_t>::max();
  const std::int64_t Due = aWatch.OpenedAt + static_cast<std::int64_t>(aLimit * 1000);
  if (Now < Due)
    return Due;
  aDeath = "Time limit of " + SecondsText(aLimit) + " s exceeded";
  aProgram.Signal(SIGTERM);
  aWatch.KillAt = Now + 3000;
  return aWatch.KillAt;
}

void TProgramSchedule::Wait(const TWaitHook& aWait, const std::vector<int>& aDescriptors,
                            std::int64_t aDue) {
  const std::int64_t Wait = std::clamp<std::int64_t>(aDue - NowMs(), 0, 100);
  aWait(aDescriptors, static_cast<int>(Wait));
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
