// The unit-test class that test code derives from (TUnitTestBase, its checks
// and registration types), apart from scenarios and modules, so that what a
// test writer's file includes stays small. UnitTestBase.h has the rest.
#pragma once

#include "UnitTestMethod.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace Kalvoro {

class TModule;
class TTestScenario;
class TUnitTestBase;
class TFixtureBase;
class TMessageEventList;
enum TProgressType : std::uint8_t;

// A class reference: the declared name of a unit-test class and the factory
// that creates a unit test of it for a module (the "virtual constructor").
struct TUnitTestBaseClass {
  const char* Name;
  TUnitTestBase* (*Create)(TModule* aModule, const char* aName);
};

// A fixture class reference; carried through registration only.
struct TFixtureBaseClass {
  const char* Name;
};

// Callback that a module's EnumRegisteredUnitTests calls once per class.
struct TEnumUnitTestProc {
  void (*Code)(void* aObject, const TUnitTestBaseClass* aUnitTestClass,
               const TFixtureBaseClass* aFixtureClass, void* aInfo);
  void* Object;

  bool HasMethod() const { return Code != nullptr; }
};

// Signatures of the entry points that a module exports (extern "C").
using TRegisterEntry = void (*)();
using TEnumRegisteredUnitTestsEntry = void (*)(TEnumUnitTestProc aProc, void* aInfo);
using TAbiVersionEntry = unsigned (*)();
using TPackageEntry = void (*)();

class KALVORO_API TUnitTestList : public TTypedList<TUnitTestBase> {
public:
  using TTypedList::TTypedList;
  // The first unit test whose name equals aName exactly, or nullptr.
  TUnitTestBase* FindByName(std::string_view aName) const;
};

class KALVORO_API TUnitTestBase {
public:
  explicit TUnitTestBase(TModule* aModule);
  virtual ~TUnitTestBase();
  TUnitTestBase(const TUnitTestBase&) = delete;
  TUnitTestBase& operator=(const TUnitTestBase&) = delete;

  // Called before and after every test method; they do nothing here.
  virtual void Init();
  virtual void Exit();
  // Registers the test methods (REGISTER_METHOD for each).
  virtual void Register() = 0;

  TModule* Module() const { return FModule; }
  TTestScenario* TestScenario() const { return FTestScenario; }
  const std::string& Name() const { return FName; }
  bool Enabled() const { return FEnabled; }
  TUnitTestResult TestResult() const { return FTestResult; }
  const TUnitTestMethodList& Methods() const { return FMethods; }
  int CurrentMethodIndex() const { return FCurrentMethodIndex; }

  void SetTestScenario(TTestScenario* aScenario);
  // The class name, set by the factory that creates the unit test.
  void SetName(std::string_view aName) { FName = CutName(aName); }
  std::string GetFullName() const;

  // Appends a test method; aName is its declared name (empty: unpublished).
  void RegisterMethod(TUnitTestProc aMethod, std::string_view aName = {});
  void RegisterMethod(void (TUnitTestBase::*aCode)(), std::string_view aName) {
    RegisterMethod(TUnitTestProc{this, aCode}, aName);
  }

  // States a condition; a failed one marks the running method as failed and
  // the method goes on. The check's message carries the place of the call.
  // Returns aCondition.
  bool Check(bool aCondition, const std::string& aText,
             TSourceLocation aWhere = TSourceLocation::current());
  bool Check(bool aCondition, const char* aText,
             TSourceLocation aWhere = TSourceLocation::current());
  // Writes a line of text to the run output.
  void Report(const std::string& aText);

  void RunMethod(TUnitTestMethod* aMethod);
  // Runs the method at aIndex between Init and Exit as Run does for each of
  // its methods (the method is the running one meanwhile); a run host runs
  // the methods it is given this way. aExitOnly runs its Exit alone (when
  // the process that ran its Init or body died).
  void RunMethodAt(int aIndex, bool aExitOnly = false);
  void Run();
  void ResetResults();
  void SetEnabled(bool aValue);
  void SetEnabledWithoutUpdate(bool aValue) { FEnabled = aValue; }

protected:
  // Check for a text of any kind, with the same fast path (the value checks).
  bool CheckView(bool aCondition, std::string_view aText, TSourceLocation aWhere);
  // True when a check of aCondition has nothing to do: it held and nobody
  // consumes passed checks. The value checks test this first, so that a
  // passing one costs Check's single comparison and branch.
  bool PassesQuietly(bool aCondition) const {
    return static_cast<unsigned char>(aCondition) > FPassedChecksObserved;
  }

private:
  bool CheckSlow(bool aCondition, std::string_view aText, TSourceLocation aWhere);
  void RunPhases(TUnitTestMethod* aMethod, bool aExitOnly);
  // Ends a method that must not run as its first phase (Init, or Exit
  // alone) ending with the exception aText.
  void EndUnrun(TUnitTestMethod* aMethod, bool aExitPhase, const std::string& aText);
  void UpdateCheckConsumers();
  void FireProgress(TProgressType aType, const std::string& aMethodName);
  template <class TBody>
  void GuardedPhase(TUnitTestMethod* aMethod, TProgressType aStart, TProgressType aFinish,
                    const std::string& aPhaseName, bool aNothingToRun, TBody&& aBody);

  TModule* FModule;
  TTestScenario* FTestScenario = nullptr;
  std::string FName;
  bool FEnabled = false;
  TUnitTestResult FTestResult = tcrTodo;
  TUnitTestMethodList FMethods{true};
  int FCurrentMethodIndex = -1;
  // While a method of this unit test runs in a scenario: 1 if a handler of
  // the scenario consumes passed checks, else 0; the scenario's event list
  // keeps it current. Otherwise 1, so that a check goes the slow way, which
  // raises what it has to.
  unsigned char FPassedChecksObserved = 1;
  TMessageEventList* FPassedChecksSource = nullptr;
};

// Base of fixture classes; the framework only carries them through registration.
class KALVORO_API TFixtureBase {
public:
  virtual ~TFixtureBase() = default;
};

// The fast path of a check: nothing to build when it passes, a method runs in
// a scenario and no handler of the scenario consumes passed checks. A true
// condition (1) exceeds the flag only when the flag is 0, so the fast path
// costs one comparison and one branch; everything else goes the slow way.
inline bool TUnitTestBase::Check(bool aCondition, const char* aText, TSourceLocation aWhere) {
  if (PassesQuietly(aCondition)) [[likely]]
    return true;
  return CheckSlow(aCondition, aText != nullptr ? std::string_view(aText) : std::string_view(),
                   aWhere);
}

inline bool TUnitTestBase::Check(bool aCondition, const std::string& aText,
                                 TSourceLocation aWhere) {
  if (PassesQuietly(aCondition)) [[likely]]
    return true;
  return CheckSlow(aCondition, aText, aWhere);
}

inline bool TUnitTestBase::CheckView(bool aCondition, std::string_view aText,
                                     TSourceLocation aWhere) {
  if (PassesQuietly(aCondition)) [[likely]]
    return true;
  return CheckSlow(aCondition, aText, aWhere);
}

} // namespace Kalvoro
