#include "GoogleTestPrinter.h"

#include "ListingCache.h"
#include "UnitTestBase.h"

namespace Kalvoro {

namespace {

const char* const Framed = "framed";

std::string What(const TModule& aModule) {
  return TListingCache::What(aModule, "GoogleTest printer");
}

} // namespace

TGoogleTestPrinter::TKnown& TGoogleTestPrinter::Known(const TModule& aModule) {
  const auto [At, Added] = FKnown.try_emplace(&aModule);
  if (Added) {
    // The stamp is taken before the program starts, so that a rebuild while
    // it runs is never stamped on what the old one showed.
    At->second.Stamp = TListingCache::Stamp(aModule.LoadPath());
    At->second.Framed =
        TListingCache::Find(aModule.LoadPath(), What(aModule), &At->second.Stamp) == Framed;
  }
  return At->second;
}

bool TGoogleTestPrinter::NeedsReport(const TModule& aModule) {
  return !Known(aModule).Framed;
}

void TGoogleTestPrinter::Saw(const TModule& aModule, bool aFramed) {
  TKnown& Entry = Known(aModule);
  if (Entry.Framed == aFramed)
    return;
  Entry.Framed = aFramed;
  TListingCache::Keep(aModule.LoadPath(), What(aModule), Entry.Stamp,
                      aFramed ? Framed : "unframed");
}

} // namespace Kalvoro
