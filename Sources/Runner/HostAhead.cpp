// The runs ahead: started while the jobs allow, read into their backlogs,
// stopped or killed with the run, and taken over by the run in its order.
#include "HostAhead.h"

#include "HostDeadlines.h"
#include "HostOutput.h"
#include "HostPlans.h"
#include "HostPool.h"
#include "HostProcess.h"
#include "HostProtocol.h"
#include "HostReading.h"

#include "Interruption.h"

#include <algorithm>
#include <cstdio>

namespace Kalvoro {

namespace {
// The backlog's tag of the output that a host wrote, by stream (0, 1).
constexpr std::uint8_t OutputTag = 0xF0;
} // namespace

void THostAhead::Clear() {
  FAhead.clear();
  FNextAhead = 0;
}

bool THostAhead::Serial(const THostRun& aRun) const {
  return FRun.Serial && !aRun.Entries.empty() && FRun.Serial(*aRun.Entries.front().UnitTest);
}

void THostAhead::Run(bool aLook) {
  if (FRun.Jobs <= 1 || FRun.Scenario == nullptr || FPlans.Count() == 0)
    return;
  const bool Stopping = FRun.Stopping();
  if (Stopping)
    Stop();
  int Busy = 0;
  for (THostRun* Run : FAhead)
    if (!Run->PlanOver) {
      Read(*Run, aLook);
      ++Busy;
    }
  if (Stopping)
    return;
  // The run being read counts while it has methods to come; a serial one
  // has none beside it.
  const THostRun& Reading = FPlans.At(std::min(FRun.Reading, FPlans.Count() - 1));
  const bool ReadingWorks = Reading.Next < Reading.Entries.size();
  if (ReadingWorks && Serial(Reading))
    return;
  Busy += ReadingWorks ? 1 : 0;
  FNextAhead = std::max(FNextAhead, FRun.Reading + 1);
  while (FNextAhead < FPlans.Count() && Busy < FRun.Jobs) {
    THostRun& Run = FPlans.At(FNextAhead);
    // A serial one waits until the run comes to it; so does a module whose
    // host the run reads to its end for leaks (HostModuleEnd.h), which
    // reading ahead does not do.
    if (Serial(Run) ||
        (!Run.Entries.empty() && FPlans.EndsWithItsHost(Run.Entries.front().UnitTest->Module())))
      return;
    ++FNextAhead;
    if (Run.Started || !Run.GiveUp.empty())
      continue;
    Start(Run);
    if (Run.Ahead) {
      FAhead.push_back(&Run);
      ++Busy;
    }
  }
}

void THostAhead::Start(THostRun& aRun) {
  // One that cannot start gives up when the run comes to it, as it would
  // have then.
  if (FPlans.TakeHost(aRun, 0, false))
    aRun.Ahead = true;
}

void THostAhead::Stop() {
  // Stop now and a second signal end them at once; after a first signal
  // they get the seconds that the host being read gets.
  const bool Again = InterruptedAgain();
  const bool Kill = FRun.StopNow || Again || FDeadlines.GraceOver();
  for (THostRun* Run : FAhead) {
    if (Run->PlanOver || !Run->Host)
      continue;
    if (Kill && Run->Killed.empty()) {
      const int Signal = FRun.Forwarded != 0 ? FRun.Forwarded : InterruptSignal();
      if (FRun.StopNow)
        Run->Killed = "Stopped by the user";
      else if (Again)
        Run->Killed = std::string("Interrupted (") + InterruptSignalName(Signal) +
                      ") again: the test process was killed";
      else
        Run->Killed = FDeadlines.GraceOverText();
      Run->Host->Kill();
      Run->Host.Become(THostState::Retiring);
    } else if (!Run->StopSent) {
      Run->StopSent = true;
      Run->Host->SendStop();
    }
  }
}

void THostAhead::Read(THostRun& aRun, bool aLook) {
  if (!aRun.Host)
    return;
  THostProcess& Host = *aRun.Host;
  try {
    bool Open = true;
    if (aLook)
      Host.LookAtRing();
    else
      Open = Host.Receive();
    THostFrameView Frame{};
    while (Host.Next(Frame)) {
      if (Frame.Kind == THostFrame::Output) {
        std::uint64_t Ends[2] = {0, 0};
        DecodeOutput(Frame.Payload, Ends[0], Ends[1]);
        for (int Stream = 0; Stream < 2; ++Stream)
          Host.TakeOutput(Stream, Ends[Stream], [&](std::string_view aPiece) {
            aRun.Backlog.Add(static_cast<std::uint8_t>(OutputTag + Stream), aPiece);
          });
        continue;
      }
      aRun.Backlog.Add(static_cast<std::uint8_t>(Frame.Kind), Frame.Payload);
      if (Frame.Kind == THostFrame::Hello && aRun.Host.State == THostState::Starting)
        aRun.Host.Become(THostState::Running);
      if (Frame.Kind == THostFrame::Message && !aRun.BegunAhead) {
        aRun.BegunAhead = true;
        FRun.ProgressChanged();
      } else if (Frame.Kind == THostFrame::MethodDone) {
        ++aRun.DoneAhead;
        ++aRun.FinishedAhead;
        ++FRun.FinishedAhead;
        aRun.BegunAhead = false;
        FRun.ProgressChanged();
      }
      if (Frame.Kind == THostFrame::Finished) {
        // Its plan is done: the host serves the next one, unless the run
        // stops.
        aRun.PlanOver = true;
        if (FRun.Stopping())
          aRun.Host.Become(THostState::Retiring);
        else
          FPool.Keep(aRun.Host);
        return;
      }
      if (Frame.Kind == THostFrame::Retire || Frame.Kind == THostFrame::LoadFailed) {
        aRun.PlanOver = true;
        aRun.Host.Become(THostState::Retiring);
      }
    }
    if (!Open) {
      aRun.PlanOver = true;
      aRun.Host.Become(THostState::Retiring);
    }
  } catch (...) {
    if (FRun.RaisedOutside())
      throw;
    // What could not be read is the host's death when the run comes to it.
    aRun.Broken = ReadingError();
    aRun.PlanOver = true;
    Host.Kill();
    aRun.Host.Become(THostState::Retiring);
  }
}

void THostAhead::TakeOver(THostRun& aRun) {
  aRun.Ahead = false;
  FAhead.erase(std::remove(FAhead.begin(), FAhead.end(), &aRun), FAhead.end());
  FOutput.LookForReport(aRun.Sanitized);
  FDeadlines.ClearPhase();
  // Its deadlines run from here; what it sent ahead may meet them at once.
  if (aRun.Host)
    FDeadlines.AwaitStart(aRun.Host.State == THostState::Starting);
}

void THostAhead::AddDescriptors(std::vector<int>& aDescriptors) const {
  for (const THostRun* Run : FAhead)
    if (!Run->PlanOver && Run->Host) {
      const std::vector<int> Own = Run->Host->Descriptors();
      aDescriptors.insert(aDescriptors.end(), Own.begin(), Own.end());
    }
}

bool THostAhead::NextFrame(THostRun& aRun, const THostMethod& aMethod, THostFrameView& aFrame,
                           bool& aShown) {
  aShown = false;
  std::uint8_t Tag = 0;
  std::string_view Payload;
  if (aRun.Backlog.Next(Tag, Payload)) {
    if (Tag >= OutputTag) {
      const int Stream = Tag - OutputTag;
      FOutput.Show(Stream, *aMethod.Method, Payload);
      std::fflush(Stream == 0 ? stdout : stderr);
      aShown = true;
      return true;
    }
    aFrame.Kind = static_cast<THostFrame>(Tag);
    aFrame.Payload = Payload;
    aFrame.Decoded = false;
    return true;
  }
  return aRun.Host && aRun.Host->Next(aFrame);
}

bool THostAhead::Finishing() const {
  // The runs ahead hold what finished while the run read an earlier one;
  // the one being read may still have methods that its host finished.
  if (FRun.Jobs <= 1)
    return false;
  if (!FAhead.empty())
    return true;
  const THostRun* Reading = FRun.ReadingRun;
  return Reading != nullptr && !Reading->StopOver && Reading->Next < Reading->Entries.size() &&
         (Reading->Host || !Reading->Backlog.Empty());
}

bool THostAhead::OldestRunning(TRunningMethod& aMethod) const {
  if (FRun.Jobs <= 1)
    return false;
  const auto Name = [&](const TUnitTestBase& aUnitTest, const TUnitTestMethod& aRunning) {
    aMethod.UnitTest = aUnitTest.Name();
    aMethod.Method = aRunning.Name();
    return true;
  };
  // The method being read is the earliest not written; the runs ahead come
  // after it, in run order.
  if (const THostMethod* Reading = FRun.ReadingMethod;
      Reading != nullptr && !Reading->Done &&
      (Reading->HostStarted || Reading->Phase != THostPhase::None))
    return Name(*Reading->UnitTest, *Reading->Method);
  for (const THostRun* Run : FAhead)
    if (Run->BegunAhead && Run->DoneAhead < Run->Entries.size()) {
      const THostEntry& Entry = Run->Entries[Run->DoneAhead];
      return Name(*Entry.UnitTest, *Entry.UnitTest->Methods().GetItem(Entry.Method));
    }
  return false;
}

} // namespace Kalvoro
