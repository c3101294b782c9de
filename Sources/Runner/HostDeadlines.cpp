// THostRunner's deadlines for the host it reads, and the texts of a host
// that the runner kills at one:
// - from the host's start to its hello, and from its plan to the plan's
//   first phase: the time limit, or the listing's limit (10 s) when there is
//   none, so that a host or a module start-up that hangs (a lock a test
//   holds, a start-up that waits only in a host) cannot hang the run;
// - a running phase: its time limit plus the grace (the host's own limit
//   should have ended it);
// - after an interruption was passed on to the host: a few seconds, or a
//   second signal, as Morvane's second Stop, so that a test that ignores
//   the signal or stopped itself still lets the run end and write its
//   reports. With several jobs the first signal is a stop: a SIGTERM gives
//   the running methods those seconds, a Ctrl+C (SIGINT) lets them finish.
#include "HostRunner.h"

#include <csignal>

#include "CrashGuard.h"
#include "Interruption.h"
#include "ModuleTrial.h"
#include "MonotonicClock.h"

#include <algorithm>
#include <ctime>

namespace Kalvoro {

namespace {

// A limit of more than a year is none worth waiting for.
constexpr double LongestLimit = 365.0 * 24 * 3600;

// What is left until aDeadline, in whole milliseconds rounded up; 0 once it
// has passed.
int Left(std::int64_t aDeadline, std::int64_t aNow) {
  const std::int64_t Rest = aDeadline - aNow;
  if (Rest <= 0)
    return 0;
  return static_cast<int>(std::min<std::int64_t>(Rest / 1'000'000 + 1, 1'000'000'000));
}

} // namespace

std::int64_t THostRunner::Now() {
  return MonotonicNanoseconds();
}

double THostRunner::StartLimit() const {
  const double Limit = FScenario->TimeLimit() > 0 ? FScenario->TimeLimit() : LoadTrialTimeLimit();
  return std::min(Limit, LongestLimit);
}

void THostRunner::AwaitStart(bool aProcess) {
  const double Limit = StartLimit();
  FStartBy = Now() + static_cast<std::int64_t>(Limit * 1e9);
  FStartStall =
      aProcess ? "Test process did not start within " + SecondsText(Limit) + " s"
               : "Module did not start within " + SecondsText(Limit) + " s in the test process";
}

std::string THostRunner::GraceOverText() const {
  return std::string("Interrupted (") + InterruptSignalName(FForwarded) +
         "): the test process did not end within " + SecondsText(FInterruptGrace) + " s";
}

bool THostRunner::Graced() const {
  // With several jobs a Ctrl+C is a first press of Stop: the running
  // methods finish however long they take, and a second one ends them. A
  // SIGTERM (a job's time-out, which kills soon after) gets the grace.
  return FForwarded != 0 && !(FJobs > 1 && FForwarded == SIGINT);
}

bool THostRunner::GraceOver() const {
  return Graced() && Now() >= FForwardedAt + static_cast<std::int64_t>(FInterruptGrace * 1e9);
}

int THostRunner::WaitMilliseconds(std::string& aDeath) {
  const std::int64_t Time = Now();
  int Wait = -1;
  const auto Nearest = [&](int aLeft) { Wait = Wait < 0 ? aLeft : std::min(Wait, aLeft); };
  if (FForwarded != 0) {
    const std::string Interrupted =
        std::string("Interrupted (") + InterruptSignalName(FForwarded) + ")";
    if (InterruptedAgain()) {
      aDeath = Interrupted + " again: the test process was killed";
      return 0;
    }
    if (Graced()) {
      const int Grace = Left(FForwardedAt + static_cast<std::int64_t>(FInterruptGrace * 1e9), Time);
      if (Grace == 0) {
        aDeath = GraceOverText();
        return 0;
      }
      Nearest(Grace);
    }
  }
  if (FStartBy != 0) {
    const int Start = Left(FStartBy, Time);
    if (Start == 0) {
      aDeath = FStartStall;
      FStalled = true;
      return 0;
    }
    Nearest(Start);
  }
  if (FPhaseStart != 0 && FScenario->TimeLimit() > 0) {
    const double Limit = std::min(FScenario->TimeLimit(), LongestLimit) + FGrace;
    const int Phase = Left(FPhaseStart + static_cast<std::int64_t>(Limit * 1e9), Time);
    if (Phase == 0) {
      aDeath = "Time limit of " + SecondsText(FScenario->TimeLimit()) + " s exceeded";
      return 0;
    }
    Nearest(Phase);
  }
  return Wait;
}

} // namespace Kalvoro
