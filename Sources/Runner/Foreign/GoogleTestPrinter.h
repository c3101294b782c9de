// Whether a GoogleTest program's own printer frames its tests, kept on disk
// by the program's identity and settings (ListingCache.h). Where it does, its
// end line of each test ("[  SKIPPED ] A.b") tells a skip from a failure, and
// the program need not build its JSON report at exit: for a program of 2,000
// passing tests that report is about two thirds of its own run.
#pragma once

#include <map>
#include <string>

namespace Kalvoro {

class TModule;

class TGoogleTestPrinter {
public:
  // Whether a start of aModule's program needs the report: unless one before
  // showed the printer framing its tests. Read from disk once per module.
  bool NeedsReport(const TModule& aModule);
  // What a start of aModule's program showed: whether the printer framed its
  // tests; kept on disk where that changed.
  void Saw(const TModule& aModule, bool aFramed);

private:
  struct TKnown {
    std::string Stamp; // the files' identities when first read
    bool Framed = false;
  };
  TKnown& Known(const TModule& aModule);

  std::map<const TModule*, TKnown> FKnown;
};

} // namespace Kalvoro
