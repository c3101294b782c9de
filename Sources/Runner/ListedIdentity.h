// Whether a module's file is still the one that its kind listed: a file
// rebuilt or written over since holds other tests than the listed ones. The
// programs' lister (KindLister.h) keeps each listing's file identity.
#pragma once

namespace Kalvoro {

class TModule;

// True where the process's lister listed aModule and its file is no longer
// that file (changed, replaced or gone); false where it cannot tell.
bool ListingOutOfDate(const TModule& aModule);

} // namespace Kalvoro
