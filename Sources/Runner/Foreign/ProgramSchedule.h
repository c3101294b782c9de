// Which starts of test programs run at once. A unit of work is what one
// program start runs: with one job, a module's part of the plan (one start
// runs it all); with several, a unit test's part, so that the unit tests of
// one program, and several programs, run side by side. The units keep the
// order in which the run comes to them: the one the run waits for starts
// first, then those after it while jobs are free. A unit named serial runs
// with none beside it, and none after it starts before the run comes to it.
#pragma once

#include "TestKind.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Kalvoro {

class TTestProgram;

class TProgramSchedule {
public:
  static constexpr std::size_t None = static_cast<std::size_t>(-1);
  // Whether a unit has tests to run and no start running.
  using TPending = std::function<bool(std::size_t aUnit)>;

  void SetJobs(int aJobs, TSerialTest aSerial);
  int Jobs() const { return FJobs; }
  // Forgets the units of the last run.
  void Clear();
  // The unit of aUnitTest's method, added at the end when it is new.
  std::size_t UnitOf(const TUnitTestBase& aUnitTest);

  // The next unit to start so that aWanted runs: aWanted where it may start
  // now, else (aAhead) one after it; None where none may.
  std::size_t Next(std::size_t aWanted, bool aAhead, const TPending& aPending) const;
  void Started(std::size_t aUnit) { FUnits[aUnit].Running = true; }
  void Ended(std::size_t aUnit) { FUnits[aUnit].Running = false; }
  // A unit whose start failed ahead of the run: it is tried again only when
  // the run comes to it.
  void GiveUpAhead(std::size_t aUnit) { FUnits[aUnit].GaveUp = true; }
  bool Running(std::size_t aUnit) const { return FUnits[aUnit].Running; }
  // Starts (aStart, which raises where it cannot) aUnit where it may and,
  // unless the run was stopped (aStopped) or a signal came, the units after
  // it while jobs are free; a unit ahead whose start fails is given up.
  // False where aUnit's own start failed (aError says why).
  bool StartWhatMay(std::size_t aUnit, bool aStopped, const TPending& aPending,
                    const std::function<void(std::size_t aUnit)>& aStart, std::string& aError);

  // The time limit of one program start: when its test (or the stretch that
  // is timed) began, and when a test past its limit is killed for good.
  struct TWatch {
    std::int64_t OpenedAt = 0; // steady ms
    std::int64_t KillAt = 0;
  };
  static std::int64_t NowMs();
  // Ends aProgram's test past aLimit seconds (0: none) where aTimed: asked
  // first (aDeath says why), killed 3 s later. Returns when the start is
  // to be looked at again for its limit (steady ms).
  static std::int64_t Watch(TTestProgram& aProgram, TWatch& aWatch, bool aTimed, double aLimit,
                            std::string& aDeath);
  // Waits on aDescriptors until aDue at the latest, and at most 100 ms: a
  // program's end is looked for that often.
  static void Wait(const TWaitHook& aWait, const std::vector<int>& aDescriptors, std::int64_t aDue);

  // At the end of a completed run: LetFinish, then LetEnd (aPump reads the
  // starts while aRunning says some are left).
  void EndRun(bool aStopped, const std::function<bool()>& aRunning,
              const std::function<void()>& aPump) const {
    LetFinish(aStopped, aRunning, aPump);
    LetEnd(aStopped, aRunning, aPump);
  }
  // At the end of a run that was not stopped: the programs still running,
  // whose tests have all ended, end by themselves (aPump reads them while
  // aRunning says so), so that what a program does after its last test (its
  // tear-down, the coverage data that a --coverage build writes at exit)
  // is not cut short; at most EndGrace seconds, or until a signal.
  static constexpr int EndGrace = 10;
  void LetEnd(bool aStopped, const std::function<bool()>& aRunning,
              const std::function<void()>& aPump) const;
  // At the run's end after a first stop (aStopped) or signal, with several
  // jobs: the starts that ran ahead finish (aPump reads them while aRunning
  // says so), unless a second signal comes or, after a SIGTERM, the grace
  // that a serial run gives its program (3 s) is over.
  void LetFinish(bool aStopped, const std::function<bool()>& aRunning,
                 const std::function<void()>& aPump) const;

private:
  struct TUnit {
    bool Serial = false;
    bool Running = false;
    bool GaveUp = false;
  };
  bool Busy() const;

  int FJobs = 1;
  TSerialTest FSerial;
  std::vector<TUnit> FUnits;
  std::map<std::pair<const void*, const void*>, std::size_t> FIndex;
};

} // namespace Kalvoro
