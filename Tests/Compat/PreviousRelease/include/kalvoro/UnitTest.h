// The test writer's header.
//
//   #include "UnitTest.h"
//
//   class TMathTest : public TUnitTest {
//   public:
//     using TUnitTest::TUnitTest;
//     void Register() override {
//       REGISTER_METHOD(TestAdd);
//     }
//     void TestAdd() { Check(2 + 2 == 4, "2+2 gives 4"); }
//   };
//
//   REGISTER_UNIT_TEST(TMathTest);   // at namespace scope, or inside the
//                                    // module's exported Register()
//
//   extern "C" KALVORO_EXPORT void Register() {}
#pragma once

#include "UnitTestCore.h"
#include "ValueText.h"

#include <string>
#include <string_view>
#include <type_traits>

namespace Kalvoro {

// Test writers derive their unit-test classes from TUnitTest.
class KALVORO_API TUnitTest : public TUnitTestBase {
public:
  using TUnitTestBase::TUnitTestBase;

  // Value checks. Each passes as Check does (nothing built unless someone
  // consumes passed checks), records where it was called, and returns
  // whether it passed; a failed one appends what it saw to aText. Only the
  // comparison is inline: the failure path and the value printing are not.
  // Passes when aExpected == aActual; else " (expected: E, actual: A)".
  template <class TExpected, class TActual>
  bool CheckEqual(const TExpected& aExpected, const TActual& aActual, std::string_view aText,
                  TSourceLocation aWhere = TSourceLocation::current()) {
    const bool Equal = aExpected == aActual;
    if (PassesQuietly(Equal)) [[likely]]
      return true;
    if (Equal)
      return CheckView(true, aText, aWhere);
    return EqualFailed(aExpected, aActual, aText, aWhere);
  }
  // Passes when |aExpected - aActual| <= aTolerance; else
  // " (expected: E, actual: A, tolerance: T)".
  template <class TValue>
  bool CheckNear(const TValue& aExpected, const TValue& aActual, const TValue& aTolerance,
                 std::string_view aText, TSourceLocation aWhere = TSourceLocation::current()) {
    const TValue Difference = aExpected > aActual ? aExpected - aActual : aActual - aExpected;
    const bool Near = Difference <= aTolerance;
    if (PassesQuietly(Near)) [[likely]]
      return true;
    if (Near)
      return CheckView(true, aText, aWhere);
    return NearFailed(aExpected, aActual, aTolerance, aText, aWhere);
  }
  // Passes when aCallable throws a TException; else " (no exception thrown)"
  // or " (other exception: WHAT)" (what() of a std::exception, else "unknown").
  // Forced unwinding (thread cancellation) passes through.
  template <class TException, class TCallable>
  bool CheckThrows(TCallable&& aCallable, std::string_view aText,
                   TSourceLocation aWhere = TSourceLocation::current()) {
    try {
      aCallable();
    } catch (const TException&) {
      return CheckView(true, aText, aWhere);
    } catch (...) {
      return ThrowsFailed(aText, true, aWhere);
    }
    return ThrowsFailed(aText, false, aWhere);
  }

private:
  template <class TExpected, class TActual>
  [[gnu::noinline, gnu::cold]] bool EqualFailed(const TExpected& aExpected, const TActual& aActual,
                                                std::string_view aText, TSourceLocation aWhere) {
    return ValuesFailed(aText, Detail::ValueText(aExpected), Detail::ValueText(aActual), nullptr,
                        aWhere);
  }
  template <class TValue>
  [[gnu::noinline, gnu::cold]] bool NearFailed(const TValue& aExpected, const TValue& aActual,
                                               const TValue& aTolerance, std::string_view aText,
                                               TSourceLocation aWhere) {
    const std::string Tolerance = Detail::ValueText(aTolerance);
    return ValuesFailed(aText, Detail::ValueText(aExpected), Detail::ValueText(aActual), &Tolerance,
                        aWhere);
  }
  // Fails with " (expected: E, actual: A)", or with ", tolerance: T" too.
  bool ValuesFailed(std::string_view aText, const std::string& aExpected,
                    const std::string& aActual, const std::string* aTolerance,
                    TSourceLocation aWhere);
  // Fails with what CheckThrows saw: no exception, or (aThrown, inside the
  // handler) the exception being handled, which forced unwinding rethrows.
  bool ThrowsFailed(std::string_view aText, bool aThrown, TSourceLocation aWhere);
};

// Base of fixture classes.
class KALVORO_API TFixture : public TFixtureBase {};

// One registry entry.
struct TUnitTestClassItem {
  TUnitTestBaseClass UnitTestClass;
  TFixtureBaseClass FixtureClass;
  bool HasFixture;
};

// The registry lives in each module (never in libkalvoro.so), so that two
// loaded modules never see each other's classes. These are hidden symbols of
// the module; only the entry points below are exported.
void RegisterUnitTest(const TUnitTestBaseClass& aUnitTestClass);
void RegisterUnitTestWithFixture(const TUnitTestBaseClass& aUnitTestClass,
                                 const TFixtureBaseClass& aFixtureClass);
// Number of registered entries (0 while no registry exists).
int RegisteredUnitTestCount();
// Destroys every entry and the registry (the module's shut-down).
void DestroyUnitTestRegistry();

// The factory behind a class reference.
template <class T> TUnitTestBase* CreateUnitTestOf(TModule* aModule, const char* aName) {
  static_assert(std::is_base_of_v<TUnitTestBase, T>, "a unit test derives from TUnitTest");
  T* UnitTest = new T(aModule);
  try {
    UnitTest->SetName(aName);
  } catch (...) {
    delete UnitTest;
    throw;
  }
  return UnitTest;
}

namespace Detail {
template <class TPointer> using SelfOf = std::remove_cv_t<std::remove_pointer_t<TPointer>>;
template <class T> bool RegisterClass(const char* aName) {
  RegisterUnitTest(TUnitTestBaseClass{aName, &CreateUnitTestOf<T>});
  return true;
}
template <class T, class F> bool RegisterClassWithFixture(const char* aName, const char* aFixture) {
  static_assert(std::is_base_of_v<TFixtureBase, F>, "a fixture derives from TFixture");
  RegisterUnitTestWithFixture(TUnitTestBaseClass{aName, &CreateUnitTestOf<T>},
                              TFixtureBaseClass{aFixture});
  return true;
}
} // namespace Detail

} // namespace Kalvoro

// Entry points of every module. EnumRegisteredUnitTests and the version come
// with the framework's module library; Register is written by the module.
extern "C" {
KALVORO_EXPORT void EnumRegisteredUnitTests(Kalvoro::TEnumUnitTestProc aProc, void* aInfo);
KALVORO_EXPORT unsigned KalvoroModuleAbiVersion();
}

#define KALVORO_CONCAT_INNER(a, b) a##b
#define KALVORO_CONCAT(a, b) KALVORO_CONCAT_INNER(a, b)
// A name of its own for each use, also for two uses on one line.
#define KALVORO_UNIQUE_NAME(aPrefix)                                                               \
  KALVORO_CONCAT(KALVORO_CONCAT(aPrefix, __LINE__), KALVORO_CONCAT(_, __COUNTER__))

// Inside Register(): registers a test method under its declared name.
#define REGISTER_METHOD(aMethod)                                                                   \
  this->RegisterMethod(static_cast<void (::Kalvoro::TUnitTestBase::*)()>(                          \
                           &::Kalvoro::Detail::SelfOf<decltype(this)>::aMethod),                   \
                       #aMethod)

// Registers a unit-test class with the module, at namespace scope (start-up)
// or as a statement inside the module's Register().
#define REGISTER_UNIT_TEST(aClass)                                                                 \
  [[maybe_unused]] static const bool KALVORO_UNIQUE_NAME(KalvoroRegistered_) =                     \
      ::Kalvoro::Detail::RegisterClass<aClass>(#aClass)

#define REGISTER_UNIT_TEST_WITH_FIXTURE(aClass, aFixture)                                          \
  [[maybe_unused]] static const bool KALVORO_UNIQUE_NAME(KalvoroRegistered_) =                     \
      ::Kalvoro::Detail::RegisterClassWithFixture<aClass, aFixture>(#aClass, #aFixture)

// The names test writers use without qualification.
#ifndef KALVORO_NO_GLOBAL_NAMES
using Kalvoro::TFixture;
using Kalvoro::TUnitTest;
using Kalvoro::TUnitTestBase;
#endif
