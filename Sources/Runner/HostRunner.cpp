#include "HostRunner.h"

#include "HostProcess.h"
#include "HostProtocol.h"

#include "CrashGuard.h"
#include "Interruption.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <numeric>

namespace Kalvoro {

namespace {

std::int64_t Now() {
  timespec Time{};
  clock_gettime(CLOCK_MONOTONIC, &Time);
  return static_cast<std::int64_t>(Time.tv_sec) * 1'000'000'000 + Time.tv_nsec;
}

// The scenario's plan with its orders fixed in advance, so that the runner
// knows every module's methods before the run asks for them, and the run
// takes exactly that order (a shuffle is drawn once).
class TRecordedPlan : public TRunPlan {
public:
  explicit TRecordedPlan(TRunPlan* aInner) : FInner(aInner) {}

  // Walks the run as TTestScenario::Run and TUnitTestBase::Run will, and
  // returns the methods in the order they will run.
  std::vector<std::pair<TUnitTestBase*, int>> Record(const TTestScenario& aScenario) {
    std::vector<std::pair<TUnitTestBase*, int>> Methods;
    FUnitTests.resize(static_cast<std::size_t>(aScenario.GetUnitTestCount()));
    std::iota(FUnitTests.begin(), FUnitTests.end(), 0);
    if (FInner != nullptr)
      FInner->OrderUnitTests(aScenario, FUnitTests);
    for (const int Index : FUnitTests) {
      if (Index >= aScenario.GetUnitTestCount())
        continue;
      TUnitTestBase* UnitTest = aScenario.GetUnitTest(Index);
      if (!UnitTest->Enabled() || !RunsUnitTest(*UnitTest))
        continue;
      std::vector<int>& Order = FMethods[UnitTest];
      Order.resize(static_cast<std::size_t>(UnitTest->Methods().Count()));
      std::iota(Order.begin(), Order.end(), 0);
      if (FInner != nullptr)
        FInner->OrderMethods(*UnitTest, Order);
      for (const int Method : Order)
        if (Runs(*UnitTest, Method))
          Methods.emplace_back(UnitTest, Method);
    }
    return Methods;
  }

  bool RunsUnitTest(const TUnitTestBase& aUnitTest) const override {
    return FInner == nullptr || FInner->RunsUnitTest(aUnitTest);
  }
  bool Runs(const TUnitTestBase& aUnitTest, int aMethodIndex) const override {
    return FInner == nullptr || FInner->Runs(aUnitTest, aMethodIndex);
  }
  void OrderUnitTests(const TTestScenario& /*aScenario*/, std::vector<int>& aOrder) override {
    if (aOrder.size() == FUnitTests.size())
      aOrder = FUnitTests;
  }
  void OrderMethods(const TUnitTestBase& aUnitTest, std::vector<int>& aOrder) override {
    const auto Found = FMethods.find(&aUnitTest);
    if (Found != FMethods.end() && Found->second.size() == aOrder.size())
      aOrder = Found->second;
  }

private:
  TRunPlan* FInner;
  std::vector<int> FUnitTests;
  std::map<const TUnitTestBase*, std::vector<int>> FMethods;
};

// How often a waiting runner looks at a running host's ring, in ms.
constexpr int RingLook = 2;

const std::string InitPhase = "Init";
const std::string ExitPhase = "Exit";

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
  FStop = FStopNow = FStopSent = false;
  FForwarded = 0;
  FPhaseStart = 0;
  FOutputs.clear();
  TRunPlan* const Original = aScenario.RunPlan();
  TRecordedPlan Recorded(Original);
  for (const auto& [UnitTest, Method] : Recorded.Record(aScenario)) {
    const int Index =
        UnitTest->Module() != nullptr ? UnitTest->Module()->UnitTestList().IndexOf(UnitTest) : -1;
    FModules[UnitTest->Module()].Entries.push_back({UnitTest, Index, Method});
  }
  aScenario.SetRunPlan(&Recorded);
  aScenario.SetMethodRunner(this);
  auto Restore = [&] {
    aScenario.SetRunPlan(Original);
    aScenario.SetMethodRunner(nullptr);
    FModules.clear(); // ends every host and what it started
    FScenario = nullptr;
  };
  try {
    aScenario.Run();
  } catch (...) {
    Restore();
    throw;
  }
  Restore();
}

void THostRunner::StartHost(TModuleRun& aRun, std::size_t aPosition, bool aExitOnly) {
  aRun.Host.reset();
  aRun.HostFinishedOne = false;
  const TEntry& First = aRun.Entries[aPosition];
  const TModule* Module = First.UnitTest->Module();
  if (Module == nullptr || First.UnitTestIndex < 0) {
    aRun.GiveUp = "The unit test belongs to no loaded module";
    return;
  }
  THostPlan Plan;
  Plan.ModulePath = Module->LoadPath();
  struct stat Status {};
  if (stat(Plan.ModulePath.c_str(), &Status) == 0) {
    Plan.Device = Status.st_dev;
    Plan.Inode = Status.st_ino;
  }
  Plan.ScenarioName = FScenario->Name();
  Plan.TimeLimit = FScenario->TimeLimit();
  // What the host must send: what the handlers consume, and always the
  // progress (the running phase), failed checks and exceptions (a method's
  // result).
  Plan.ConsumedIds = FScenario->StateNotifications().ConsumedIds() |
                     MessageIdBit(MessageIdProgress) | MessageIdBit(MessageIdException) |
                     FailedChecksBit;
  for (std::size_t I = aPosition; I < aRun.Entries.size(); ++I) {
    const TEntry& Entry = aRun.Entries[I];
    Plan.Entries.push_back({static_cast<std::uint32_t>(Entry.UnitTestIndex), Entry.UnitTest->Name(),
                            static_cast<std::uint32_t>(Entry.Method), aExitOnly && I == aPosition});
  }
  try {
    aRun.Host = std::make_unique<THostProcess>(Plan);
    aRun.HostBase = aPosition;
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
        FireProgress(ptExitStart, Method, ExitPhase);
        FireException(Method, ExitPhase, Run.GiveUp);
        FireProgress(ptExitFinish, Method, ExitPhase);
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
  bool Ended = !aRun.Host->Receive();
  for (;;) {
    TPumped Result = TPumped::Done;
    try {
      THostFrameView Frame{};
      while (aRun.Host->Next(Frame))
        if (!Handle(aRun, aMethod, Frame.Kind, Frame.Payload, Result, aDeath))
          return Result;
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
    // ring fills up: look at it every few milliseconds.
    Wait = Wait < 0 ? RingLook : std::min(Wait, RingLook);
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
    // A host that retired after a crash, or that stopped: the next host
    // starts at this method, unless the run stops.
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

void THostRunner::Replay(THostMessage aMessage, TMethodRun& aMethod) {
  TMessageEventList& List = FScenario->StateNotifications();
  TUnitTestMethod& Method = *aMethod.Method;
  switch (aMessage.Id) {
  case MessageIdProgress:
    switch (aMessage.ProgressType) {
    case ptInitStart:
      aMethod.Phase = TPhase::Init;
      break;
    case ptMethodStart:
      aMethod.Phase = TPhase::Method;
      break;
    case ptExitStart:
      aMethod.Phase = TPhase::Exit;
      break;
    case ptInitFinish:
      aMethod.Phase = TPhase::AfterInit;
      break;
    case ptMethodFinish:
      aMethod.Phase = TPhase::AfterMethod;
      break;
    case ptExitFinish:
      aMethod.Phase = TPhase::Done;
      break;
    default:
      break;
    }
    FPhaseStart = aMethod.Phase == TPhase::Init || aMethod.Phase == TPhase::Method ||
                          aMethod.Phase == TPhase::Exit
                      ? aMessage.Time
                      : 0;
    if (List.Consumes(MessageIdProgress)) {
      // On the stack, as the phases deliver it.
      TProgressMessage Progress(aMessage.ProgressType, std::move(aMessage.ScenarioName),
                                std::move(aMessage.UnitTestName), std::move(aMessage.MethodName));
      List.Deliver(Progress);
    }
    return;
  case MessageIdCheck:
    if (!aMessage.Success && Method.TestResult() == tcrSuccess)
      Method.SetTestResult(tcrFailure);
    if (aMessage.Success ? !List.Consumes(MessageIdCheck) : !List.ConsumesFailedChecks())
      return;
    break;
  case MessageIdException:
    if (Method.TestResult() == tcrSuccess)
      Method.SetTestResult(tcrException);
    if (!List.Consumes(MessageIdException))
      return;
    break;
  default:
    if (!List.Consumes(MessageIdReport))
      return;
    break;
  }
  FScenario->FireStateNotification(RebuildMessage(std::move(aMessage)));
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

const std::string& THostRunner::MethodOutput(const TUnitTestMethod& aMethod) const {
  static const std::string None;
  const auto Found = FOutputs.find(&aMethod);
  return Found != FOutputs.end() ? Found->second : None;
}

void THostRunner::TakeOutput(THostProcess& aHost, const TMethodRun& aMethod, std::uint64_t aOutput,
                             std::uint64_t aError) {
  // Kept per method up to a bound; the rest still goes to the output.
  constexpr std::size_t Kept = 1u << 20;
  for (int Stream = 0; Stream < 2; ++Stream) {
    const std::string Text = aHost.TakeOutput(Stream, Stream == 0 ? aOutput : aError);
    if (Text.empty())
      continue;
    std::FILE* Own = Stream == 0 ? stdout : stderr;
    std::fwrite(Text.data(), 1, Text.size(), Own);
    std::fflush(Own);
    std::string& Share = FOutputs[aMethod.Method];
    Share.append(Text, 0, std::min(Text.size(), Kept - std::min(Kept, Share.size())));
  }
}

void THostRunner::FireProgress(TProgressType aType, const TMethodRun& aMethod,
                               const std::string& aPhase) {
  TMessageEventList& List = FScenario->StateNotifications();
  if (!List.Consumes(MessageIdProgress))
    return;
  TProgressMessage Message(aType, FScenario->Name(), aMethod.UnitTest->Name(), aPhase);
  List.Deliver(Message);
}

void THostRunner::FireException(TMethodRun& aMethod, const std::string& aPhase,
                                const std::string& aText) {
  if (aMethod.Method->TestResult() == tcrSuccess)
    aMethod.Method->SetTestResult(tcrException);
  if (FScenario->StateNotifications().Consumes(MessageIdException))
    FScenario->FireStateNotification(std::make_unique<TExceptionMessage>(
        FScenario->Name(), aMethod.UnitTest->Name(), aPhase, aText));
}

bool THostRunner::EndPhase(TMethodRun& aMethod, const std::string& aText) {
  const std::string& Name = aMethod.Method->Name();
  switch (aMethod.Phase) {
  case TPhase::None:
    FireProgress(ptInitStart, aMethod, InitPhase);
    [[fallthrough]];
  case TPhase::Init:
    FireException(aMethod, InitPhase, aText);
    FireProgress(ptInitFinish, aMethod, InitPhase);
    aMethod.Phase = TPhase::AfterInit;
    return true;
  case TPhase::AfterInit:
    if (aMethod.Method->TestResult() != tcrSuccess) {
      // Init failed, so Exit was next.
      aMethod.Phase = TPhase::AfterMethod;
      return EndPhase(aMethod, aText);
    }
    FireProgress(ptMethodStart, aMethod, Name);
    [[fallthrough]];
  case TPhase::Method:
    FireException(aMethod, Name, aText);
    FireProgress(ptMethodFinish, aMethod, Name);
    aMethod.Phase = TPhase::AfterMethod;
    return true;
  case TPhase::AfterMethod:
    FireProgress(ptExitStart, aMethod, ExitPhase);
    [[fallthrough]];
  case TPhase::Exit:
    FireException(aMethod, ExitPhase, aText);
    FireProgress(ptExitFinish, aMethod, ExitPhase);
    aMethod.Phase = TPhase::Done;
    return false;
  case TPhase::Done:
    return false;
  }
  return false;
}

} // namespace Kalvoro
