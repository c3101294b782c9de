#include "HostRunner.h"

#include "HostMessages.h"
#include "HostProcess.h"
#include "HostProtocol.h"
#include "RecordedPlan.h"

#include "CrashGuard.h"
#include "Interruption.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>

namespace Kalvoro {

namespace {

std::int64_t Now() {
  timespec Time{};
  clock_gettime(CLOCK_MONOTONIC, &Time);
  return static_cast<std::int64_t>(Time.tv_sec) * 1'000'000'000 + Time.tv_nsec;
}

// How often a waiting runner looks at a running host's ring, in ms.
constexpr int RingLook = 2;

} // namespace

void PollWait(const std::vector<int>& aDescriptors, int aMilliseconds) {
  std::vector<pollfd> Polled;
  for (const int Descriptor : aDescriptors)
    Polled.push_back({Descriptor, POLLIN, 0});
  // A signal (an interruption) ends the wait early; the caller looks again.
  poll(Polled.data(), Polled.size(), aMilliseconds);
}

THostRunner::THostRunner(TWaitHook aWait) : FWait(std::move(aWait)) {
  if (!FWait)
    FWait = PollWait;
  if (pipe2(FWake, O_CLOEXEC | O_NONBLOCK) != 0)
    FWake[0] = FWake[1] = -1;
}

THostRunner::~THostRunner() {
  FModules.clear();
  FIdle.clear(); // ends the hosts that wait for a plan
  for (const int Descriptor : FWake)
    if (Descriptor >= 0)
      close(Descriptor);
}

void THostRunner::Stop() {
  FStop = true;
  if (FWake[1] >= 0)
    (void)write(FWake[1], "s", 1);
}

void THostRunner::StopNow() {
  FStop = true;
  FStopNow = true;
  if (FWake[1] >= 0)
    (void)write(FWake[1], "s", 1);
}

void THostRunner::Run(TTestScenario& aScenario) {
  FScenario = &aScenario;
  FModules.clear();
  FOrder.clear();
  FStop = FStopNow = FStopSent = false;
  FForwarded = 0;
  FPhaseStart = 0;
  FOutputs.clear();
  TRunPlan* const Original = aScenario.RunPlan();
  TRecordedPlan Recorded(Original);
  std::size_t Order = 0;
  for (const auto& [UnitTest, Method] : Recorded.Record(aScenario)) {
    const int Index =
        UnitTest->Module() != nullptr ? UnitTest->Module()->UnitTestList().IndexOf(UnitTest) : -1;
    TModuleRun& Run = FModules[UnitTest->Module()];
    if (Run.Entries.empty()) {
      Run.Rank = FOrder.size();
      Run.First = Order;
      FOrder.push_back(UnitTest->Module());
    }
    Run.Last = Order++;
    Run.Entries.push_back({UnitTest, Index, Method});
  }
  aScenario.SetRunPlan(&Recorded);
  aScenario.SetMethodRunner(this);
  auto Restore = [&] {
    aScenario.SetRunPlan(Original);
    aScenario.SetMethodRunner(nullptr);
    FModules.clear(); // ends every host and what it started
    FOrder.clear();
    FScenario = nullptr;
  };
  try {
    aScenario.Run();
  } catch (...) {
    Restore();
    throw;
  }
  // The hosts that are done wait for the next scenario's plans.
  ReclaimHosts();
  Restore();
}

bool THostRunner::MakePlan(const TModuleRun& aRun, std::size_t aPosition, bool aExitOnly,
                           THostPlan& aPlan) const {
  const TEntry& First = aRun.Entries[aPosition];
  const TModule* Module = First.UnitTest->Module();
  if (Module == nullptr || First.UnitTestIndex < 0)
    return false;
  aPlan.ModulePath = Module->LoadPath();
  aPlan.Module = Module->LoadedIdentity();
  aPlan.ScenarioName = FScenario->Name();
  aPlan.TimeLimit = FScenario->TimeLimit();
  // What the host must send: what the handlers consume, and always the
  // progress (the running phase), failed checks and exceptions (a method's
  // result).
  aPlan.ConsumedIds = FScenario->StateNotifications().ConsumedIds() |
                      MessageIdBit(MessageIdProgress) | MessageIdBit(MessageIdException) |
                      FailedChecksBit;
  for (std::size_t I = aPosition; I < aRun.Entries.size(); ++I) {
    const TEntry& Entry = aRun.Entries[I];
    aPlan.Entries.push_back({static_cast<std::uint32_t>(Entry.UnitTestIndex),
                             Entry.UnitTest->Name(), static_cast<std::uint32_t>(Entry.Method),
                             aExitOnly && I == aPosition});
  }
  return true;
}

void THostRunner::StartHost(TModuleRun& aRun, std::size_t aPosition, bool aExitOnly) {
  aRun.Host.reset();
  aRun.Queued = nullptr;
  aRun.HostFinishedOne = false;
  THostPlan Plan;
  if (!MakePlan(aRun, aPosition, aExitOnly, Plan)) {
    aRun.GiveUp = "The unit test belongs to no loaded module";
    return;
  }
  // A host would load another file than the one listed: its methods end.
  if (aRun.Entries[aPosition].UnitTest->Module()->FileChangedSinceLoad()) {
    aRun.GiveUp = ModuleFileChangedText;
    return;
  }
  try {
    if (aPosition == 0 && !aExitOnly)
      aRun.Host = QueuedHost(aRun);
    if (!aRun.Host)
      aRun.Host = IdleHost(Plan);
    if (!aRun.Host) {
      aRun.Host = std::make_unique<THostProcess>(Plan);
      ++FHostsStarted;
    }
    aRun.HostBase = aPosition;
    QueueNext(aRun);
  } catch (const std::exception& Error) {
    aRun.GiveUp = Error.what();
  }
}

void THostRunner::RunMethod(TUnitTestBase& aUnitTest, int aMethodIndex) {
  TModuleRun& Run = FModules[aUnitTest.Module()];
  // The recorded plan makes the run ask in the planned order; should it ask
  // for another method, that one runs in a host of its own.
  std::size_t Position = Run.Entries.size();
  for (std::size_t I = Run.Next; I < Run.Entries.size(); ++I)
    if (Run.Entries[I].UnitTest == &aUnitTest && Run.Entries[I].Method == aMethodIndex) {
      Position = I;
      break;
    }
  // A host that would first run methods the run skipped is not the one.
  if (Position != Run.Next)
    Run.Host.reset();
  if (Position == Run.Entries.size()) {
    Run.Entries.push_back({&aUnitTest,
                           aUnitTest.Module() != nullptr
                               ? aUnitTest.Module()->UnitTestList().IndexOf(&aUnitTest)
                               : -1,
                           aMethodIndex});
  }
  TMethodRun Method{&aUnitTest, aUnitTest.Methods().GetItem(aMethodIndex), Position};
  Method.Method->SetTestResult(tcrSuccess);
  bool ExitOnly = false;
  while (!Method.Done) {
    if (!Run.GiveUp.empty()) {
      // Nothing of it can run: it reads as its first phase ending so.
      if (ExitOnly) {
        FireProgress(ptExitStart, Method, ExitPhaseName);
        FireException(Method, ExitPhaseName, Run.GiveUp);
        FireProgress(ptExitFinish, Method, ExitPhaseName);
      } else {
        EndPhase(Method, Run.GiveUp);
      }
      break;
    }
    if (!Run.Host) {
      StartHost(Run, Position, ExitOnly);
      Method.HostStarted = false;
      continue;
    }
    std::string Death;
    const TPumped Pumped = Pump(Run, Method, Death);
    if (Pumped == TPumped::Done)
      break;
    const bool Early = !Run.HostFinishedOne && !Method.HostStarted;
    Run.Host.reset();
    FPhaseStart = 0;
    if (Pumped == TPumped::Restart) {
      // A host that ends its plan before running anything of it is broken.
      if (Early && ++Run.EarlyDeaths >= 2)
        Run.GiveUp = "The test process ended its plan without running it";
      continue;
    }
    if (FStopNow) {
      EndPhase(Method, "Stopped by the user");
      break;
    }
    if (Early && Run.GiveUp.empty()) {
      // A host that ends before its first method may have met a passing
      // fault; twice in a row it is the module.
      if (++Run.EarlyDeaths >= 2)
        Run.GiveUp = Death;
      continue;
    }
    if (EndPhase(Method, Death) && !ExitOnly) {
      // Exit always runs: in a fresh host.
      ExitOnly = true;
      Method.Phase = TPhase::AfterMethod;
      continue;
    }
    break;
  }
  if (Method.Done || Method.Phase != TPhase::None)
    Run.EarlyDeaths = 0;
  Run.Next = Position + 1;
}

THostRunner::TPumped THostRunner::Pump(TModuleRun& aRun, TMethodRun& aMethod, std::string& aDeath) {
  // The frames read before come first, the ring after them: a host that runs
  // ahead waits in its ring, not in this process's memory.
  bool Ended = false;
  bool Look = true; // whether to look at the ring again before sleeping
  for (;;) {
    TPumped Result = TPumped::Done;
    try {
      THostFrameView Frame{};
      while (aRun.Host->Next(Frame)) {
        Look = true;
        if (!Handle(aRun, aMethod, Frame.Kind, Frame.Payload, Result, aDeath))
          return Result;
      }
    } catch (const EHostProtocol& Error) {
      aRun.Host->Kill();
      aDeath = Error.what();
      return TPumped::Ended;
    }
    if (Ended) {
      if (!aRun.Host->HasEnded())
        aRun.Host->AwaitEnd(1.0);
      // What it wrote last (a sanitizer's report, say) belongs to the method.
      TakeOutput(*aRun.Host, aMethod, UINT64_MAX, UINT64_MAX);
      aDeath = FDeath.empty() ? aRun.Host->DeathText() : FDeath;
      FDeath.clear();
      return TPumped::Ended;
    }
    // SIGINT or SIGTERM to the runner goes on to the host's process group:
    // the host ends its phase as the runner would in process.
    if (const int Signal = InterruptSignal(); Signal != 0 && FForwarded == 0) {
      FForwarded = Signal;
      aRun.Host->Signal(Signal);
    }
    if (FStop && !FStopSent) {
      FStopSent = true;
      aRun.Host->SendStop();
    }
    if (FStopNow) {
      FDeath = "Stopped by the user";
      aRun.Host->Kill();
      Ended = !aRun.Host->Receive();
      continue;
    }
    int Wait = WaitMilliseconds();
    if (Wait == 0) {
      FDeath = "Time limit of " + SecondsText(FScenario->TimeLimit()) + " s exceeded";
      aRun.Host->Kill();
      Ended = !aRun.Host->Receive();
      continue;
    }
    // The host publishes to its ring without waking this process unless the
    // ring fills up: after frames the ring is looked at again at once (the
    // wait only lets the program's events through), else every few
    // milliseconds.
    Wait = Look ? 0 : Wait < 0 ? RingLook : std::min(Wait, RingLook);
    Look = false;
    std::vector<int> Descriptors = aRun.Host->Descriptors();
    if (FWake[0] >= 0)
      Descriptors.push_back(FWake[0]);
    FWait(Descriptors, Wait);
    char Drain[64];
    while (FWake[0] >= 0 && read(FWake[0], Drain, sizeof Drain) > 0) {
    }
    Ended = !aRun.Host->Receive();
  }
}

bool THostRunner::Handle(TModuleRun& aRun, TMethodRun& aMethod, THostFrame aKind,
                         std::string_view aPayload, TPumped& aResult, std::string& aDeath) {
  switch (aKind) {
  case THostFrame::Hello: {
    const std::uint32_t Version = DecodeHello(aPayload);
    if (Version != HostProtocolVersion) {
      aRun.Host->Kill();
      aRun.GiveUp = "The test process speaks protocol version " + std::to_string(Version) +
                    ", this runner version " + std::to_string(HostProtocolVersion);
      aDeath = aRun.GiveUp;
      aResult = TPumped::Ended;
      return false;
    }
    return true;
  }
  case THostFrame::Message:
    aMethod.HostStarted = true;
    Replay(DecodeMessage(aPayload), aMethod);
    return true;
  case THostFrame::MethodDone: {
    std::uint32_t Position = 0;
    TUnitTestResult Result = tcrTodo;
    DecodeMethodDone(aPayload, Position, Result);
    if (aRun.HostBase + Position != aMethod.Position)
      throw EHostProtocol("The test process reported a method out of turn");
    if (aMethod.Method->TestResult() == tcrSuccess)
      aMethod.Method->SetTestResult(Result);
    aMethod.Done = true;
    aRun.HostFinishedOne = true;
    FPhaseStart = 0;
    aResult = TPumped::Done;
    return false;
  }
  case THostFrame::Retire:
  case THostFrame::Finished:
    if (aMethod.HostStarted)
      throw EHostProtocol("The test process ended in the middle of a method");
    // A host that retired after a crash, that stopped, or that ran its whole
    // plan before this method was asked for: the next host starts at this
    // method, unless the run stops.
    if (FStop || InterruptSignal() != 0) {
      aMethod.Method->SetTestResult(tcrTodo);
      aMethod.Done = true;
      aResult = TPumped::Done;
    } else {
      aResult = TPumped::Restart;
    }
    return false;
  case THostFrame::Output: {
    std::uint64_t Output = 0;
    std::uint64_t Error = 0;
    DecodeOutput(aPayload, Output, Error);
    TakeOutput(*aRun.Host, aMethod, Output, Error);
    return true;
  }
  case THostFrame::LoadFailed:
    aRun.GiveUp = DecodeText(aPayload);
    aDeath = aRun.GiveUp;
    aResult = TPumped::Ended;
    return false;
  default:
    throw EHostProtocol("Garbled frame from the test process: a frame of the runner's own");
  }
}

int THostRunner::WaitMilliseconds() const {
  int Wait = -1;
  if (FPhaseStart != 0 && FScenario->TimeLimit() > 0) {
    const double Limit = std::min(FScenario->TimeLimit(), 365.0 * 24 * 3600) + FGrace;
    const std::int64_t Deadline = FPhaseStart + static_cast<std::int64_t>(Limit * 1e9);
    const std::int64_t Left = Deadline - Now();
    if (Left <= 0)
      return 0;
    Wait = static_cast<int>(std::min<std::int64_t>(Left / 1'000'000 + 1, 1'000'000'000));
  }
  return Wait;
}

} // namespace Kalvoro
