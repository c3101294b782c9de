// THostRunner's runs ahead, with several jobs: while the run reads one unit
// test's host, the unit tests after it start in hosts of their own, as many
// as the jobs allow, and whatever their hosts send is read at once into
// their backlogs (their output too, so that a host can serve another plan
// as soon as it finished its own), so that no host ever waits for the
// runner. When the run comes to such a unit test it reads its backlog first,
// then its host, as if it had been read all along: the messages fire in the
// run's order and the reports are those of a serial run. A unit test named
// serial starts only when the run comes to it, and nothing starts beside it.
#include "HostRunner.h"

#include "HostProcess.h"
#include "HostProtocol.h"

#include "Interruption.h"

#include <algorithm>
#include <cstdio>

namespace Kalvoro {

std::string ReadingError(); // HostReading.cpp

namespace {
// The backlog's tag of the output that a host wrote, by stream (0, 1).
constexpr std::uint8_t OutputTag = 0xF0;
} // namespace

bool THostRunner::SerialRun(const TModuleRun& aRun) const {
  return FSerial && !aRun.Entries.empty() && FSerial(*aRun.Entries.front().UnitTest);
}

void THostRunner::RunAhead(bool aLook) {
  if (FJobs <= 1 || FScenario == nullptr || FOrder.empty())
    return;
  const bool Stopping = FStop || FForwarded != 0 || InterruptSignal() != 0;
  if (Stopping)
    StopAhead();
  int Busy = 0;
  for (TModuleRun* Run : FAhead)
    if (!Run->PlanOver) {
      ReadAhead(*Run, aLook);
      ++Busy;
    }
  if (Stopping)
    return;
  // The run being read counts while it has methods to come; a serial one
  // has none beside it.
  const TModuleRun& Reading = FModules[FOrder[std::min(FReading, FOrder.size() - 1)]];
  const bool ReadingWorks = Reading.Next < Reading.Entries.size();
  if (ReadingWorks && SerialRun(Reading))
    return;
  Busy += ReadingWorks ? 1 : 0;
  FNextAhead = std::max(FNextAhead, FReading + 1);
  while (FNextAhead < FOrder.size() && Busy < FJobs) {
    TModuleRun& Run = FModules[FOrder[FNextAhead]];
    // A serial one waits until the run comes to it; so does a module whose
    // host the run reads to its end for leaks (HostModuleEnd.cpp), which
    // reading ahead does not do.
    if (SerialRun(Run) ||
        (!Run.Entries.empty() && EndsWithItsHost(Run.Entries.front().UnitTest->Module())))
      return;
    ++FNextAhead;
    if (Run.Started || !Run.GiveUp.empty())
      continue;
    StartAhead(Run);
    if (Run.Ahead) {
      FAhead.push_back(&Run);
      ++Busy;
    }
  }
}

void THostRunner::StartAhead(TModuleRun& aRun) {
  bool Fresh = false;
  // One that cannot start gives up when the run comes to it, as it would
  // have then.
  if (!TakeHost(aRun, 0, false, Fresh))
    return;
  aRun.Ahead = true;
  aRun.Fresh = Fresh;
}

void THostRunner::StopAhead() {
  // Stop now and a second signal end them at once; after a first signal
  // they get the seconds that the host being read gets.
  const bool Again = InterruptedAgain();
  const bool Kill = FStopNow || Again || GraceOver();
  for (TModuleRun* Run : FAhead) {
    if (Run->PlanOver || !Run->Host)
      continue;
    if (Kill && Run->Killed.empty()) {
      const int Signal = FForwarded != 0 ? FForwarded : InterruptSignal();
      if (FStopNow)
        Run->Killed = "Stopped by the user";
      else if (Again)
        Run->Killed = std::string("Interrupted (") + InterruptSignalName(Signal) +
                      ") again: the test process was killed";
      else
        Run->Killed = GraceOverText();
      Run->Host->Kill();
    } else if (!Run->StopSent) {
      Run->StopSent = true;
      Run->Host->SendStop();
    }
  }
}

void THostRunner::ReadAhead(TModuleRun& aRun, bool aLook) {
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
      if (Frame.Kind == THostFrame::Message && !aRun.BegunAhead) {
        aRun.BegunAhead = true;
        ProgressChanged();
      } else if (Frame.Kind == THostFrame::MethodDone) {
        ++aRun.DoneAhead;
        ++aRun.FinishedAhead;
        ++FFinishedAhead;
        aRun.BegunAhead = false;
        ProgressChanged();
      }
      if (Frame.Kind == THostFrame::Finished) {
        // Its plan is done: the host serves the next one (what it wrote
        // since belongs to no method), unless the run stops.
        aRun.PlanOver = true;
        if (!FStop && FForwarded == 0 && InterruptSignal() == 0) {
          Host.SkipOutput();
          FIdle.push_back(std::move(aRun.Host));
        }
        return;
      }
      if (Frame.Kind == THostFrame::Retire || Frame.Kind == THostFrame::LoadFailed)
        aRun.PlanOver = true;
    }
    if (!Open)
      aRun.PlanOver = true;
  } catch (...) {
    if (RaisedOutside())
      throw;
    // What could not be read is the host's death when the run comes to it.
    aRun.Broken = ReadingError();
    aRun.PlanOver = true;
    Host.Kill();
  }
}

void THostRunner::TakeOver(TModuleRun& aRun) {
  aRun.Ahead = false;
  FAhead.erase(std::remove(FAhead.begin(), FAhead.end(), &aRun), FAhead.end());
  FLookForReport = aRun.Sanitized;
  FPhaseStart = 0;
  FStalled = false;
  // Its deadlines run from here; what it sent ahead may meet them at once.
  if (aRun.Host)
    AwaitStart(aRun.Fresh);
}

void THostRunner::AddAheadDescriptors(std::vector<int>& aDescriptors) const {
  for (const TModuleRun* Run : FAhead)
    if (!Run->PlanOver && Run->Host) {
      const std::vector<int> Own = Run->Host->Descriptors();
      aDescriptors.insert(aDescriptors.end(), Own.begin(), Own.end());
    }
}

bool THostRunner::NextFrame(TModuleRun& aRun, const TMethodRun& aMethod, THostFrameView& aFrame,
                            bool& aShown) {
  aShown = false;
  std::uint8_t Tag = 0;
  std::string_view Payload;
  if (aRun.Backlog.Next(Tag, Payload)) {
    if (Tag >= OutputTag) {
      const int Stream = Tag - OutputTag;
      ShowOutput(Stream, aMethod, Payload);
      std::fflush(Stream == 0 ? stdout : stderr);
      aShown = true;
      return true;
    }
    aFrame.Kind = static_cast<THostFrame>(Tag);
    aFrame.Payload = Payload;
    return true;
  }
  return aRun.Host && aRun.Host->Next(aFrame);
}

bool THostRunner::StopRequested() const {
  return (FStop || InterruptSignal() != 0) && !FinishingAhead();
}

bool THostRunner::FinishingAhead() const {
  // The runs ahead hold what finished while the run read an earlier one;
  // the one being read may still have methods that its host finished.
  if (FJobs <= 1)
    return false;
  if (!FAhead.empty())
    return true;
  const TModuleRun* Reading = FReadingRun;
  return Reading != nullptr && !Reading->StopOver && Reading->Next < Reading->Entries.size() &&
         (Reading->Host || !Reading->Backlog.Empty());
}

bool THostRunner::OldestRunning(TRunningMethod& aMethod) const {
  if (FJobs <= 1)
    return false;
  const auto Name = [&](const TUnitTestBase& aUnitTest, const TUnitTestMethod& aRunning) {
    aMethod.UnitTest = aUnitTest.Name();
    aMethod.Method = aRunning.Name();
    return true;
  };
  // The method being read is the earliest not written; the runs ahead come
  // after it, in run order.
  if (const TMethodRun* Reading = FReadingMethod;
      Reading != nullptr && !Reading->Done &&
      (Reading->HostStarted || Reading->Phase != TPhase::None))
    return Name(*Reading->UnitTest, *Reading->Method);
  for (const TModuleRun* Run : FAhead)
    if (Run->BegunAhead && Run->DoneAhead < Run->Entries.size()) {
      const TEntry& Entry = Run->Entries[Run->DoneAhead];
      return Name(*Entry.UnitTest, *Entry.UnitTest->Methods().GetItem(Entry.Method));
    }
  return false;
}

void THostRunner::DropBacklog(TModuleRun& aRun) {
  aRun.Backlog.Clear();
  if (aRun.FinishedAhead == 0)
    return;
  FFinishedAhead -= aRun.FinishedAhead;
  aRun.FinishedAhead = 0;
  ProgressChanged();
}

void THostRunner::ProgressChanged() {
  if (FProgressHook)
    Outside([&] { FProgressHook(); });
}

} // namespace Kalvoro
