// Unit tests: their methods, checks and the guarded run of each method.
#include "UnitTestBase.h"

#include "CrashGuard.h"
#include "Interruption.h"
#include "KeptProgress.h"
#include "MethodPlaces.h"
#include "MethodResult.h"
#include "PhaseNames.h"
#include "PlainPhases.h"
#include "RunOrder.h"
#include "ThreadMessages.h"

#include <cxxabi.h>
#include <new>
#include <vector>

namespace Kalvoro {

namespace {
// A Check or Report from a thread other than the one running aUnitTest's
// method: queued for the running method, or, while a scenario runs, dropped
// and counted when no method of aUnitTest runs. False when the call goes on
// as it always has: outside every run, from a thread that runs methods, or
// for a unit test in no scenario.
bool FromOtherThread(const TUnitTestBase& aUnitTest, ThreadMessages::TQueued&& aMessage) {
  if (ThreadMessages::Queue(&aUnitTest, std::move(aMessage)))
    return true;
  if (!ThreadMessages::RunInProgress() || ThreadMessages::RunsMethods() ||
      aUnitTest.TestScenario() == nullptr)
    return false;
  ThreadMessages::Drop();
  return true;
}

// Delivers, on the running thread, what other threads made for its method.
void DeliverFromOtherThreads(TUnitTestBase& aUnitTest) {
  ThreadMessages::TQueued Message;
  while (ThreadMessages::TakeNext(Message)) {
    if (Message.IsCheck)
      aUnitTest.Check(Message.Condition, Message.Text, Message.Where);
    else
      aUnitTest.Report(Message.Text);
  }
}
} // namespace

// ---------------------------------------------------------------------------
// TUnitTestList

TUnitTestBase* TUnitTestList::FindByName(std::string_view aName) const {
  for (TUnitTestBase* UnitTest : *this)
    if (UnitTest->Name() == aName)
      return UnitTest;
  return nullptr;
}

// ---------------------------------------------------------------------------
// TUnitTestBase

TUnitTestBase::TUnitTestBase(TModule* aModule) : FModule(aModule) {
  KALVORO_ASSERT(aModule != nullptr);
}

TUnitTestBase::~TUnitTestBase() {
  TPlainPhases::UnitTestEnded();
  if (FTestScenario != nullptr)
    FTestScenario->RemoveUnitTest(this);
  FModule = nullptr;
  // The methods live in the framework's places (RegisterMethod); the list
  // is left with none to delete.
  for (TUnitTestMethod* Method : FMethods) {
    Method->~TUnitTestMethod();
    FreeMethodPlace(Method);
  }
  FMethods.Forget();
}

void TUnitTestBase::SetTestScenario(TTestScenario* aScenario) {
  FTestScenario = aScenario;
  UpdateCheckConsumers();
}

void TUnitTestBase::UpdateCheckConsumers() {
  // Methods are only ever added, so an index that is valid now stays valid.
  const bool Running = FTestScenario != nullptr && FCurrentMethodIndex >= 0 &&
                       FCurrentMethodIndex < FMethods.Count();
  TMessageEventList* Source = Running ? &FTestScenario->StateNotifications() : nullptr;
  if (Source == FPassedChecksSource)
    return;
  if (FPassedChecksSource != nullptr)
    FPassedChecksSource->RemoveConsumedFlag(&FPassedChecksObserved);
  FPassedChecksSource = Source;
  if (Source != nullptr)
    Source->AddConsumedFlag(&FPassedChecksObserved, MessageIdBit(MessageIdCheck));
  else
    FPassedChecksObserved = 1;
}

void TUnitTestBase::Init() {}
void TUnitTestBase::Exit() {}

std::string TUnitTestBase::GetFullName() const {
  KALVORO_ASSERT(FModule != nullptr);
  return CutName(FModule->GetFileName() + "|" + FName);
}

void TUnitTestBase::RegisterMethod(TUnitTestProc aMethod, std::string_view aName) {
  if (!aMethod.HasMethod())
    return;
  void* Place = NewMethodPlace();
  TUnitTestMethod* Method = nullptr;
  try {
    Method = new (Place) TUnitTestMethod(aMethod, aName);
    FMethods.Add(Method);
  } catch (...) {
    if (Method != nullptr)
      Method->~TUnitTestMethod();
    FreeMethodPlace(Place);
    throw;
  }
}

bool TUnitTestBase::CheckSlow(bool aCondition, std::string_view aText, TSourceLocation aWhere) {
  if (!ThreadMessages::RunsOnThisThread(this) &&
      FromOtherThread(*this, {true, aCondition, std::string(aText), aWhere}))
    return aCondition;
  TUnitTestMethod* Method = FMethods.GetItem(FCurrentMethodIndex);
  KALVORO_ASSERT(Method != nullptr);
  if (FTestScenario == nullptr) {
    SettleResult(*Method, tcrException);
    throw Exception("TestScenario not assigned");
  }
  if (aCondition) {
    if (FTestScenario->StateNotifications().Consumes(MessageIdCheck)) {
      auto Message = std::make_unique<TCheckMessage>(std::string(aText));
      Message->SetLocation(aWhere.file_name(), aWhere.line());
      FTestScenario->FireStateNotification(std::move(Message));
    }
  } else {
    SettleResult(*Method, tcrFailure);
    if (FTestScenario->StateNotifications().ConsumesFailedChecks()) {
      auto Message = std::make_unique<TCheckMessage>(std::string(aText), FTestScenario->Name(),
                                                     FName, Method->Name());
      Message->SetLocation(aWhere.file_name(), aWhere.line());
      FTestScenario->FireStateNotification(std::move(Message));
    }
  }
  return aCondition;
}

void TUnitTestBase::Report(const std::string& aText) {
  if (!ThreadMessages::RunsOnThisThread(this) && FromOtherThread(*this, {false, true, aText}))
    return;
  if (FTestScenario == nullptr)
    throw Exception("TestScenario not assigned");
  if (FTestScenario->StateNotifications().Consumes(MessageIdReport))
    FTestScenario->FireStateNotification(std::make_unique<TReportMessage>(aText));
}

void TUnitTestBase::FireProgress(TProgressType aType, const std::string& aMethodName) {
  // A handler may have taken the unit test out of its scenario meanwhile.
  if (FTestScenario == nullptr || !FTestScenario->StateNotifications().Consumes(MessageIdProgress))
    return;
  TKeptProgress::Deliver(FTestScenario->StateNotifications(), aType, FTestScenario->Name(), FName,
                         aMethodName);
}

// The sanitizer of undefined behaviour is off here: catching forced unwinding
// (thread cancellation) by its tag type binds a reference to no object, which
// is how that unwinding is meant to be caught and passed on.
template <class TBody>
__attribute__((no_sanitize("undefined"))) void
TUnitTestBase::GuardedPhase(TUnitTestMethod* aMethod, TProgressType aStart, TProgressType aFinish,
                            const std::string& aPhaseName, bool aNothingToRun, TBody&& aBody) {
  std::string ErrorText;
  const double TimeLimit = FTestScenario != nullptr ? FTestScenario->TimeLimit() : 0;
  // A process that the test made (fork, vfork, clone) and that comes back
  // from the test code, by a return, a throw or a crash, ends there.
  const int Process = GuardedProcess();
  try {
    // A phase with nothing of the test's to run, outside any other guarded
    // phase and with no interruption waiting to end it, sends its messages
    // as a guarded one does, without the guard's cost.
    if (aNothingToRun && CurrentCrashFrame() == nullptr &&
        !InterruptionDetail::Waiting.load(std::memory_order_relaxed)) {
      FireProgress(aStart, aPhaseName);
      DeliverFromOtherThreads(*this);
      FireProgress(aFinish, aPhaseName);
      return;
    }
    RunGuarded(
        [&] {
          FireProgress(aStart, aPhaseName);
          aBody();
          EndIfStranger(Process);
          DeliverFromOtherThreads(*this);
          EndGuardedBody();
          FireProgress(aFinish, aPhaseName);
        },
        TimeLimit);
    return;
  } catch (abi::__forced_unwind&) {
    // Thread cancellation has to pass through.
    throw;
  } catch (...) {
    EndIfStranger(Process);
    // An error of any type belongs to its phase. Copy the text now: the error
    // object may live in a module's code.
    ErrorText = CurrentExceptionText();
  }
  DeliverFromOtherThreads(*this);
  SettleResult(*aMethod, tcrException);
  if (FTestScenario != nullptr && FTestScenario->StateNotifications().Consumes(MessageIdException))
    FTestScenario->FireStateNotification(std::make_unique<TExceptionMessage>(
        FTestScenario->Name(), FName, aPhaseName, std::move(ErrorText)));
  FireProgress(aFinish, aPhaseName);
}

void TUnitTestBase::EndUnrun(TUnitTestMethod* aMethod, bool aExitPhase, const std::string& aText) {
  const std::string& Phase = aExitPhase ? PhaseNames::Exit : PhaseNames::Init;
  aMethod->SetTestResult(tcrException);
  FireProgress(aExitPhase ? ptExitStart : ptInitStart, Phase);
  if (FTestScenario != nullptr && FTestScenario->StateNotifications().Consumes(MessageIdException))
    FTestScenario->FireStateNotification(
        std::make_unique<TExceptionMessage>(FTestScenario->Name(), FName, Phase, aText));
  FireProgress(aExitPhase ? ptExitFinish : ptInitFinish, Phase);
}

void TUnitTestBase::RunMethod(TUnitTestMethod* aMethod) {
  RunPhases(aMethod, false);
}

void TUnitTestBase::RunPhases(TUnitTestMethod* aMethod, bool aExitOnly) {
  if (FTestScenario == nullptr || aMethod == nullptr)
    return;
  // The module's file written over since it was listed: what would run is
  // not the listed method. Its first phase ends so, as in a run host.
  if (FModule != nullptr && FModule->MappedFileChanged()) {
    EndUnrun(aMethod, aExitOnly, ModuleFileChangedText);
    return;
  }
  ThreadMessages::TWindow Threads(this);
  aMethod->SetTestResult(tcrSuccess);
  auto ExitPhase = [&] {
    GuardedPhase(aMethod, ptExitStart, ptExitFinish, PhaseNames::Exit,
                 TPlainPhases::Known(*this, true), [this] { Exit(); });
  };
  if (!aExitOnly) {
    try {
      GuardedPhase(aMethod, ptInitStart, ptInitFinish, PhaseNames::Init,
                   TPlainPhases::Known(*this, false), [this] {
                     TPlainPhases::Learn(*this);
                     Init();
                   });
      if (aMethod->TestResult() == tcrSuccess)
        GuardedPhase(aMethod, ptMethodStart, ptMethodFinish, aMethod->Name(), false,
                     [aMethod] { aMethod->Fire(); });
    } catch (...) {
      // An error that the phases do not catch still lets Exit run.
      ExitPhase();
      throw;
    }
  }
  ExitPhase();
  Threads.Close();
  DeliverFromOtherThreads(*this);
}

void TUnitTestBase::RunMethodAt(int aIndex, bool aExitOnly) {
  if (aIndex < 0 || aIndex >= FMethods.Count())
    return;
  FCurrentMethodIndex = aIndex;
  UpdateCheckConsumers();
  try {
    RunPhases(FMethods.GetItem(aIndex), aExitOnly);
  } catch (...) {
    FCurrentMethodIndex = -1;
    UpdateCheckConsumers();
    throw;
  }
  FCurrentMethodIndex = -1;
  UpdateCheckConsumers();
}

void TUnitTestBase::Run() {
  if (FTestScenario == nullptr) {
    FTestResult = tcrException;
    throw Exception("TestScenario not assigned");
  }
  FTestResult = tcrSuccess;
  FireProgress(ptUnitTestStart, std::string());
  // An interrupted or stopped run starts no further method: the rest keep
  // "not run". A method runner says so itself, an interruption included
  // (methods it ran ahead may still be written).
  class TMethodsRun : public TRunOrder {
  public:
    explicit TMethodsRun(TUnitTestBase& aOwner) : FOwner(aOwner) {}

  private:
    TMethodRunner* Runner() const {
      return FOwner.FTestScenario != nullptr ? FOwner.FTestScenario->MethodRunner() : nullptr;
    }
    bool Stopped() const override {
      const TMethodRunner* Each = Runner();
      return Each != nullptr ? Each->StopRequested() : InterruptSignal() != 0;
    }
    void Method(TUnitTestBase& /*aUnitTest*/, int aIndex) override {
      FOwner.FCurrentMethodIndex = aIndex;
      FOwner.UpdateCheckConsumers();
      if (TMethodRunner* Remote = Runner())
        Remote->RunMethod(FOwner, aIndex);
      else
        FOwner.RunMethod(FOwner.FMethods.GetItem(aIndex));
    }
    TUnitTestBase& FOwner;
  };
  try {
    TMethodsRun(*this).WalkMethods(*this, FTestScenario->RunPlan());
  } catch (...) {
    FCurrentMethodIndex = -1;
    UpdateCheckConsumers();
    throw;
  }
  FCurrentMethodIndex = -1;
  UpdateCheckConsumers();
  for (const TUnitTestMethod* Method : FMethods)
    if (Method->TestResult() > FTestResult)
      FTestResult = Method->TestResult();
  FireProgress(ptUnitTestFinish, std::string());
}

void TUnitTestBase::ResetResults() {
  FTestResult = tcrTodo;
  for (TUnitTestMethod* Method : FMethods)
    Method->SetTestResult(tcrTodo);
}

void TUnitTestBase::SetEnabled(bool aValue) {
  FEnabled = aValue;
  if (FTestScenario != nullptr)
    FTestScenario->UpdateEnabledState();
}

} // namespace Kalvoro
