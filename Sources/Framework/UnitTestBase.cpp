#include "UnitTestBase.h"

#include "CrashGuard.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>

namespace Kalvoro {

namespace {
const std::string InitPhaseName = "Init";
const std::string ExitPhaseName = "Exit";
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
  if (FTestScenario != nullptr)
    FTestScenario->RemoveUnitTest(this);
  FModule = nullptr;
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
  auto Method = std::make_unique<TUnitTestMethod>(aMethod, aName);
  FMethods.Add(Method.get());
  Method.release();
}

bool TUnitTestBase::CheckSlow(bool aCondition, std::string_view aText) {
  TUnitTestMethod* Method = FMethods.GetItem(FCurrentMethodIndex);
  KALVORO_ASSERT(Method != nullptr);
  if (FTestScenario == nullptr) {
    if (Method->TestResult() == tcrSuccess)
      Method->SetTestResult(tcrException);
    throw Exception("TestScenario not assigned");
  }
  if (aCondition) {
    if (FTestScenario->StateNotifications().Consumes(MessageIdCheck))
      FTestScenario->FireStateNotification(std::make_unique<TCheckMessage>(std::string(aText)));
  } else {
    if (Method->TestResult() == tcrSuccess)
      Method->SetTestResult(tcrFailure);
    if (FTestScenario->StateNotifications().ConsumesFailedChecks())
      FTestScenario->FireStateNotification(std::make_unique<TCheckMessage>(
          std::string(aText), FTestScenario->Name(), FName, Method->Name()));
  }
  return aCondition;
}

void TUnitTestBase::Report(const std::string& aText) {
  if (FTestScenario == nullptr)
    throw Exception("TestScenario not assigned");
  if (FTestScenario->StateNotifications().Consumes(MessageIdReport))
    FTestScenario->FireStateNotification(std::make_unique<TReportMessage>(aText));
}

void TUnitTestBase::FireProgress(TProgressType aType, const std::string& aMethodName) {
  // A handler may have taken the unit test out of its scenario meanwhile.
  if (FTestScenario == nullptr || !FTestScenario->StateNotifications().Consumes(MessageIdProgress))
    return;
  TProgressMessage Message(aType, FTestScenario->Name(), FName, aMethodName);
  FTestScenario->StateNotifications().Deliver(Message);
}

template <class TBody>
void TUnitTestBase::GuardedPhase(TUnitTestMethod* aMethod, TProgressType aStart,
                                 TProgressType aFinish, const std::string& aPhaseName,
                                 TBody&& aBody) {
  std::string ErrorText;
  try {
    RunGuarded([&] {
      FireProgress(aStart, aPhaseName);
      aBody();
      FireProgress(aFinish, aPhaseName);
    });
    return;
  } catch (const std::exception& Error) {
    // Copy the text now: the error object may live in a module's code.
    ErrorText = Error.what();
  }
  if (aMethod->TestResult() == tcrSuccess)
    aMethod->SetTestResult(tcrException);
  if (FTestScenario != nullptr && FTestScenario->StateNotifications().Consumes(MessageIdException))
    FTestScenario->FireStateNotification(std::make_unique<TExceptionMessage>(
        FTestScenario->Name(), FName, aPhaseName, std::move(ErrorText)));
  FireProgress(aFinish, aPhaseName);
}

void TUnitTestBase::RunMethod(TUnitTestMethod* aMethod) {
  if (FTestScenario == nullptr || aMethod == nullptr)
    return;
  aMethod->SetTestResult(tcrSuccess);
  auto ExitPhase = [&] {
    GuardedPhase(aMethod, ptExitStart, ptExitFinish, ExitPhaseName, [this] { Exit(); });
  };
  try {
    GuardedPhase(aMethod, ptInitStart, ptInitFinish, InitPhaseName, [this] { Init(); });
    if (aMethod->TestResult() == tcrSuccess)
      GuardedPhase(aMethod, ptMethodStart, ptMethodFinish, aMethod->Name(),
                   [aMethod] { aMethod->Fire(); });
  } catch (...) {
    // An error that the phases do not catch still lets Exit run.
    ExitPhase();
    throw;
  }
  ExitPhase();
}

void TUnitTestBase::Run() {
  if (FTestScenario == nullptr) {
    FTestResult = tcrException;
    throw Exception("TestScenario not assigned");
  }
  FTestResult = tcrSuccess;
  FireProgress(ptUnitTestStart, std::string());
  const int Count = FMethods.Count();
  try {
    for (int Index = 0; Index < Count; ++Index) {
      FCurrentMethodIndex = Index;
      UpdateCheckConsumers();
      RunMethod(FMethods.GetItem(Index));
    }
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

// ---------------------------------------------------------------------------
// TSummary

void TSummary::Clear() {
  FTotalUnitTests = FUnitTestTodo = FUnitTestSuccess = FUnitTestFailure = FUnitTestException = 0;
  FTotalMethods = FMethodTodo = FMethodSuccess = FMethodFailure = FMethodException = 0;
  FEmpty = true;
}

void TSummary::Summarize(const TTestScenario* aScenario) {
  Clear();
  if (aScenario == nullptr)
    return;
  FEmpty = false;
  auto Count = [](TUnitTestResult aResult, int& aTodo, int& aSuccess, int& aFailure,
                  int& aException) {
    switch (aResult) {
    case tcrTodo:
      ++aTodo;
      break;
    case tcrSuccess:
      ++aSuccess;
      break;
    case tcrFailure:
      ++aFailure;
      break;
    case tcrException:
      ++aException;
      break;
    }
  };
  for (const TUnitTestBase* UnitTest : aScenario->UnitTestList()) {
    Count(UnitTest->TestResult(), FUnitTestTodo, FUnitTestSuccess, FUnitTestFailure,
          FUnitTestException);
    ++FTotalUnitTests;
    for (const TUnitTestMethod* Method : UnitTest->Methods()) {
      Count(Method->TestResult(), FMethodTodo, FMethodSuccess, FMethodFailure, FMethodException);
      ++FTotalMethods;
    }
  }
}

// ---------------------------------------------------------------------------
// TTestScenario

TTestScenario::TTestScenario(std::string_view aName) : FName(CutName(aName)) {}

TTestScenario::~TTestScenario() {
  // Owners empty a scenario first; should one forget, the unit tests must not
  // keep pointing at a destroyed scenario.
  while (FUnitTestList.Count() > 0) {
    TUnitTestBase* UnitTest = FUnitTestList.GetItem(0);
    UnitTest->SetEnabledWithoutUpdate(false);
    UnitTest->SetTestScenario(nullptr);
    FUnitTestList.Delete(0);
  }
}

void TTestScenario::SetEnabled(bool aValue) {
  for (TUnitTestBase* UnitTest : FUnitTestList)
    UnitTest->SetEnabledWithoutUpdate(aValue);
  FEnabled = aValue;
}

void TTestScenario::FireStateNotification(std::unique_ptr<TCustomMessage> aMessage) {
  FStateNotifications.FireAllEventHandlers(std::move(aMessage));
}

void TTestScenario::AddStateNotificationHandler(const TMessageEvent& aHandler) {
  FStateNotifications.AddEventHandler(aHandler);
}

void TTestScenario::RemoveStateNotificationHandler(const TMessageEvent& aHandler) {
  FStateNotifications.RemoveEventHandler(aHandler);
}

void TTestScenario::AddUnitTest(TUnitTestBase* aUnitTest) {
  if (aUnitTest == nullptr)
    return;
  aUnitTest->SetTestScenario(this);
  FUnitTestList.Add(aUnitTest);
  aUnitTest->SetEnabled(true);
}

void TTestScenario::RemoveUnitTest(TUnitTestBase* aUnitTest) {
  if (aUnitTest == nullptr)
    return;
  aUnitTest->SetEnabled(false);
  aUnitTest->SetTestScenario(nullptr);
  FUnitTestList.Remove(aUnitTest);
}

void TTestScenario::RemoveAllUnitTests() {
  while (FUnitTestList.Count() > 0)
    RemoveUnitTest(FUnitTestList.GetItem(0));
}

int TTestScenario::UnitTestIndexOf(const TUnitTestBase* aUnitTest) const {
  return FUnitTestList.IndexOf(aUnitTest);
}

void TTestScenario::UpdateEnabledState() {
  FEnabled = std::any_of(FUnitTestList.begin(), FUnitTestList.end(),
                         [](const TUnitTestBase* aUnitTest) { return aUnitTest->Enabled(); });
}

void TTestScenario::ResetResults() {
  FSummary.Clear();
  for (TUnitTestBase* UnitTest : FUnitTestList)
    UnitTest->ResetResults();
}

void TTestScenario::Run() {
  // Keep the crash handlers installed for the whole run rather than per phase.
  TSignalScope Signals;
  if (FStateNotifications.Consumes(MessageIdProgress)) {
    TProgressMessage Start(ptScenarioStart, FName, {}, {});
    FStateNotifications.Deliver(Start);
  }
  ResetResults();
  const int Count = FUnitTestList.Count();
  for (int Index = 0; Index < Count && Index < FUnitTestList.Count(); ++Index) {
    TUnitTestBase* UnitTest = FUnitTestList.GetItem(Index);
    if (UnitTest->Enabled())
      UnitTest->Run();
  }
  if (FStateNotifications.Consumes(MessageIdProgress)) {
    TProgressMessage Finish(ptScenarioFinish, FName, {}, {});
    FStateNotifications.Deliver(Finish);
  }
  FSummary.Summarize(this);
}

// ---------------------------------------------------------------------------
// TModule

namespace {
std::string UpperExtension(const std::string& aFileName) {
  const std::size_t Slash = aFileName.find_last_of('/');
  const std::size_t Dot = aFileName.find_last_of('.');
  if (Dot == std::string::npos || (Slash != std::string::npos && Dot < Slash))
    return {};
  std::string Extension = aFileName.substr(Dot);
  for (char& C : Extension)
    C = static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
  return Extension;
}

std::string LastDlError() {
  const char* Text = dlerror();
  return Text != nullptr ? Text : "";
}
} // namespace

TModule::TModule(std::string aFileName) : FFullFileName(std::move(aFileName)) {
  const std::string Extension = UpperExtension(FFullFileName);
  // ".so" is this platform's own name for a plain library; ".DLL" is kept.
  if (Extension == ".BPL")
    FModuleType = ptPackage;
  else if (Extension == ".DLL" || Extension == ".SO")
    FModuleType = ptLibrary;
  else
    FModuleType = ptUnknown;
}

TModule::~TModule() {
  try {
    UnloadModule();
  } catch (...) {
    // A library that cannot be released stays mapped; nothing else to do here.
  }
  FUnitTestList.Clear();
  FAssignments.clear();
}

std::string TModule::GetFileName() const {
  const std::size_t Slash = FFullFileName.find_last_of('/');
  return CutName(Slash == std::string::npos ? FFullFileName : FFullFileName.substr(Slash + 1));
}

std::string TModule::GetPath() const {
  const std::size_t Slash = FFullFileName.find_last_of('/');
  return Slash == std::string::npos ? std::string() : FFullFileName.substr(0, Slash + 1);
}

std::string TModule::LoadPath() const {
  if (FFullFileName.empty() || FFullFileName.front() == '/')
    return FFullFileName;
  if (FBaseDirectory.empty()) {
    // A bare file name names a file here, not a library on the search path.
    return FFullFileName.find('/') == std::string::npos ? "./" + FFullFileName : FFullFileName;
  }
  std::string Path = FBaseDirectory;
  if (Path.back() != '/')
    Path += '/';
  return Path + FFullFileName;
}

void* TModule::OpenLibrary() {
  FLoaderError.clear();
  void* Handle = dlopen(LoadPath().c_str(), RTLD_NOW | RTLD_LOCAL);
  if (Handle == nullptr)
    FLoaderError = LastDlError();
  if (FModuleType != ptPackage)
    return Handle;
  // The package loader: its failures are its own errors and leave the state as
  // it was; it runs the package's start-up after mapping it.
  if (Handle == nullptr)
    throw TModuleException("Unable to load package \"" + FFullFileName + "\"\r" + FLoaderError);
  auto Initialize = reinterpret_cast<TPackageEntry>(dlsym(Handle, "Initialize"));
  auto Finalize = reinterpret_cast<TPackageEntry>(dlsym(Handle, "Finalize"));
  if (Initialize == nullptr || Finalize == nullptr) {
    dlclose(Handle);
    throw TModuleException("Unable to load package \"" + FFullFileName +
                           "\"\rNo \"Initialize\" or \"Finalize\" entry in package");
  }
  // A package whose start-up fails is not kept. Its error may be of a type
  // that lives in the package, so only its text outlives the release.
  std::string Error;
  try {
    Initialize();
    return Handle;
  } catch (const std::exception& Raised) {
    Error = Raised.what();
  } catch (...) {
    Error = "Its start-up raised an error without a message";
  }
  dlclose(Handle);
  throw TModuleException("Unable to load package \"" + FFullFileName + "\"\r" + Error);
}

bool TModule::LoadModule() {
  if (FHandle != nullptr)
    return false;
  if (FState == msLoadSuccess)
    return false;
  FHandle = OpenLibrary();
  if (FHandle == nullptr) {
    FState = msLoadFailed;
    throw TModuleException("Failed to load package or library \"" + FFullFileName + "\"");
  }
  auto Register = reinterpret_cast<TRegisterEntry>(dlsym(FHandle, "Register"));
  if (Register == nullptr) {
    FState = msLoadFailed;
    throw TModuleException("Invalid module\rNo \"Register\" procedure in module \"" +
                           FFullFileName + "\"");
  }
  // A module of another framework version would share objects of another
  // layout: refuse it before any of its code runs, and let go of it.
  auto AbiVersion = reinterpret_cast<TAbiVersionEntry>(dlsym(FHandle, "KalvoroModuleAbiVersion"));
  const unsigned Version = AbiVersion != nullptr ? AbiVersion() : 0;
  if (Version != KalvoroAbiVersion) {
    FState = msLoadFailed;
    ReleaseLibrary();
    FHandle = nullptr;
    throw TModuleException("Invalid module\rModule \"" + FFullFileName +
                           "\" was built for framework ABI version " +
                           (Version == 0 ? std::string("(none)") : std::to_string(Version)) +
                           "; this framework has version " + std::to_string(KalvoroAbiVersion));
  }
  Register();
  auto Enumerate =
      reinterpret_cast<TEnumRegisteredUnitTestsEntry>(dlsym(FHandle, "EnumRegisteredUnitTests"));
  if (Enumerate == nullptr) {
    FState = msLoadFailed;
    throw TModuleException("Invalid module\rNo \"EnumRegisteredUnitTests\" procedure in module \"" +
                           FFullFileName + "\"");
  }
  TEnumUnitTestProc Proc;
  Proc.Object = this;
  Proc.Code = [](void* aObject, const TUnitTestBaseClass* aUnitTestClass,
                 const TFixtureBaseClass* aFixtureClass, void* aInfo) {
    static_cast<TModule*>(aObject)->EnumUnitTestProc(aUnitTestClass, aFixtureClass, aInfo);
  };
  Enumerate(Proc, nullptr);
  FState = msLoadSuccess;
  return true;
}

void TModule::EnumUnitTestProc(const TUnitTestBaseClass* aUnitTestClass,
                               const TFixtureBaseClass* /*aFixtureClass*/, void* /*aInfo*/) {
  KALVORO_ASSERT(aUnitTestClass != nullptr && aUnitTestClass->Create != nullptr);
  std::unique_ptr<TUnitTestBase> UnitTest(aUnitTestClass->Create(this, aUnitTestClass->Name));
  UnitTest->Register();
  FUnitTestList.Add(UnitTest.get());
  UnitTest.release();
}

void TModule::SaveAssignments() {
  FAssignments.clear();
  for (const TUnitTestBase* UnitTest : FUnitTestList)
    if (UnitTest->TestScenario() != nullptr)
      FAssignments.push_back(UnitTest->Name() + "|" + UnitTest->TestScenario()->Name() + "|" +
                             (UnitTest->Enabled() ? "ENABLED" : "DISABLED"));
}

void TModule::ReleaseLibrary() {
  if (FModuleType == ptPackage) {
    // The package unloader runs the package's shut-down first.
    if (auto Finalize = reinterpret_cast<TPackageEntry>(dlsym(FHandle, "Finalize")))
      Finalize();
  }
  if (dlclose(FHandle) != 0)
    throw Exception(LastDlError());
}

bool TModule::UnloadModule() {
  if (FHandle == nullptr || FState != msLoadSuccess)
    return false;
  SaveAssignments();
  FUnitTestList.Clear();
  ReleaseLibrary();
  FHandle = nullptr;
  FState = msNotLoaded;
  return true;
}

} // namespace Kalvoro
