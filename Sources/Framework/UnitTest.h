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

#include "UnitTestBase.h"
#include "ValueText.h"

#include <cxxabi.h>

#include <exception>
#include <memory>
#include <type_traits>

namespace Kalvoro {

// Test writers derive their unit-test classes from TUnitTest.
class KALVORO_API TUnitTest : public TUnitTestBase {
public:
  using TUnitTestBase::TUnitTestBase;

  // Value checks. Each passes as Check does (the text alone, built only when
  // someone consumes passed checks) and returns whether it passed; a failed
  // one appends what it saw to aText.
  // Passes when aExpected == aActual; else " (expected: E, actual: A)".
  template <class TExpected, class TActual, class TText>
  bool CheckEqual(const TExpected& aExpected, const TActual& aActual, const TText& aText) {
    if (aExpected == aActual) [[likely]]
      return Check(true, aText);
    return CheckFailed(aText, " (expected: " + Detail::ValueText(aExpected) +
                                  ", actual: " + Detail::ValueText(aActual) + ")");
  }
  // Passes when |aExpected - aActual| <= aTolerance; else
  // " (expected: E, actual: A, tolerance: T)".
  template <class TValue, class TText>
  bool CheckNear(const TValue& aExpected, const TValue& aActual, const TValue& aTolerance,
                 const TText& aText) {
    const TValue Difference = aExpected > aActual ? aExpected - aActual : aActual - aExpected;
    if (Difference <= aTolerance) [[likely]]
      return Check(true, aText);
    return CheckFailed(aText, " (expected: " + Detail::ValueText(aExpected) +
                                  ", actual: " + Detail::ValueText(aActual) +
                                  ", tolerance: " + Detail::ValueText(aTolerance) + ")");
  }
  // Passes when aCallable throws a TException; else " (no exception thrown)"
  // or " (other exception: WHAT)" (what() of a std::exception, else "unknown").
  template <class TException, class TCallable, class TText>
  bool CheckThrows(TCallable&& aCallable, const TText& aText) {
    std::string Outcome;
    try {
      aCallable();
      Outcome = " (no exception thrown)";
    } catch (const TException&) {
      return Check(true, aText);
    } catch (abi::__forced_unwind&) {
      throw;
    } catch (const std::exception& Error) {
      Outcome = std::string(" (other exception: ") + Error.what() + ")";
    } catch (...) {
      Outcome = " (other exception: unknown)";
    }
    return CheckFailed(aText, Outcome);
  }

private:
  // Out of line, so that the passing path of a value check stays inline.
  template <class TText>
  [[gnu::noinline, gnu::cold]] bool CheckFailed(const TText& aText, const std::string& aSeen) {
    return Check(false, std::string(std::string_view(aText)) + aSeen);
  }
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
  std::unique_ptr<T> UnitTest(new T(aModule));
  UnitTest->SetName(aName);
  return UnitTest.release();
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
