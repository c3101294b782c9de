// The deadlines of the host being read: the clock, the limits and the
// texts of a host killed at one.
#include "HostDeadlines.h"

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

std::int64_t THostDeadlines::Now() {
  return MonotonicNanoseconds();
}

double THostDeadlines::StartLimit() const {
  const double Limit =
      FRun.Scenario->TimeLimit() > 0 ? FRun.Scenario->TimeLimit() : LoadTrialTimeLimit();
  return std::min(Limit, LongestLimit);
}

void THostDeadlines::AwaitStart(bool aProcess) {
  const double Limit = StartLimit();
  FStartBy = Now() + static_cast<std::int64_t>(Limit * 1e9);
  FStartStall =
      aProcess ? "Test process did not start within " + SecondsText(Limit) + " s"
               : "Module did not start within " + SecondsText(Limit) + " s in the test process";
}

std::string THostDeadlines::GraceOverText() const {
  return std::string("Interrupted (") + InterruptSignalName(FRun.Forwarded) +
         "): the test process did not end within " + SecondsText(FInterruptGrace) + " s";
}

bool THostDeadlines::Graced() const {
  // With several jobs a Ctrl+C is a first press of Stop: the running
  // methods finish however long they take, and a second one ends them. A
  // SIGTERM (a job's time-out, which kills soon after) gets the grace.
  return FRun.Forwarded != 0 && !(FRun.Jobs > 1 && FRun.Forwarded == SIGINT);
}

bool THostDeadlines::GraceOver() const {
  return Graced() && Now() >= FRun.ForwardedAt + static_cast<std::int64_t>(FInterruptGrace * 1e9);
}

void THostDeadlines::PhaseAt(std::int64_t aSince) {
  FPhaseStart = aSince;
  // The plan has begun: the deadline to its first phase is met.
  if (aSince != 0)
    FStartBy = 0;
}

void THostDeadlines::Forward(int aSignal) {
  FRun.Forwarded = aSignal;
  FRun.ForwardedAt = Now();
}

int THostDeadlines::WaitMilliseconds(std::string& aDeath) {
  const std::int64_t Time = Now();
  int Wait = -1;
  const auto Nearest = [&](int aLeft) { Wait = Wait < 0 ? aLeft : std::min(Wait, aLeft); };
  if (FRun.Forwarded != 0) {
    const std::string Interrupted =
        std::string("Interrupted (") + InterruptSignalName(FRun.Forwarded) + ")";
    if (InterruptedAgain()) {
      aDeath = Interrupted + " again: the test process was killed";
      return 0;
    }
    if (Graced()) {
      const int Grace =
          Left(FRun.ForwardedAt + static_cast<std::int64_t>(FInterruptGrace * 1e9), Time);
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
  if (FPhaseStart != 0 && FRun.Scenario->TimeLimit() > 0) {
    const double Limit = std::min(FRun.Scenario->TimeLimit(), LongestLimit) + FGrace;
    const int Phase = Left(FPhaseStart + static_cast<std::int64_t>(Limit * 1e9), Time);
    if (Phase == 0) {
      aDeath = "Time limit of " + SecondsText(FRun.Scenario->TimeLimit()) + " s exceeded";
      return 0;
    }
    Nearest(Phase);
  }
  return Wait;
}

} // namespace Kalvoro
