// The phases of a unit test that run nothing of the test's: an Init or Exit
// that is the framework's own empty one. Such a phase needs no crash guard,
// so a method of a unit test without them costs one guarded phase, not three.
#pragma once

namespace Kalvoro {

class TUnitTestBase;

class TPlainPhases {
public:
  // Whether aUnitTest's Init (aExit: its Exit) is known to be the
  // framework's own; false where nothing is known of it.
  static bool Known(const TUnitTestBase& aUnitTest, bool aExit);
  // Reads which of them aUnitTest has from its table of virtual functions,
  // which lies in the module's memory: only inside its guarded Init. What is
  // read is kept for the unit test whose Init ran last on this thread.
  static void Learn(TUnitTestBase& aUnitTest);
  // A unit test ends: one made later at its address is not taken for it.
  static void UnitTestEnded() noexcept;
};

} // namespace Kalvoro
