#include "PlainPhases.h"

#include "UnitTestCore.h"

#include <atomic>

namespace Kalvoro {

namespace {

std::atomic<unsigned> UnitTestsEnded{0};

struct TKnown {
  const TUnitTestBase* UnitTest = nullptr;
  unsigned Ended = 0; // UnitTestsEnded when it was learnt
  bool Init = false;
  bool Exit = false;
};
thread_local TKnown Last;

bool KnownNow(const TUnitTestBase& aUnitTest) {
  return Last.UnitTest == &aUnitTest &&
         Last.Ended == UnitTestsEnded.load(std::memory_order_relaxed);
}

// Whether aUnitTest's Init (aExit: its Exit) is the framework's own, compared
// by the address that its table holds. Where the compiler cannot tell, none is.
bool OwnPhase(TUnitTestBase& aUnitTest, bool aExit) {
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpmf-conversions"
#pragma GCC diagnostic ignored "-Wpedantic"
  using TPhaseCode = void (*)(TUnitTestBase*);
  const auto Phase = aExit ? &TUnitTestBase::Exit : &TUnitTestBase::Init;
  return reinterpret_cast<TPhaseCode>(aUnitTest.*Phase) ==
         (aExit ? reinterpret_cast<TPhaseCode>(&TUnitTestBase::Exit)
                : reinterpret_cast<TPhaseCode>(&TUnitTestBase::Init));
#pragma GCC diagnostic pop
#else
  (void)aUnitTest;
  (void)aExit;
  return false;
#endif
}

} // namespace

bool TPlainPhases::Known(const TUnitTestBase& aUnitTest, bool aExit) {
  return KnownNow(aUnitTest) && (aExit ? Last.Exit : Last.Init);
}

void TPlainPhases::Learn(TUnitTestBase& aUnitTest) {
  if (KnownNow(aUnitTest))
    return;
  Last = {&aUnitTest, UnitTestsEnded.load(std::memory_order_relaxed), OwnPhase(aUnitTest, false),
          OwnPhase(aUnitTest, true)};
}

void TPlainPhases::UnitTestEnded() noexcept {
  UnitTestsEnded.fetch_add(1, std::memory_order_relaxed);
}

} // namespace Kalvoro
