// Listings of test programs kept on disk by the program's file identity, so
// that a run of a program that has not changed does not start it once more
// to list its tests. An entry is the program's own list report, stamped with
// the identities of the program and of the project's libraries it needs
// (LocalLibraries in ElfDynamic.h) and with its settings; a stamp that
// differs is a miss. Each program (path, kind, settings) has one entry,
// which its next listing replaces, so the folder does not grow with
// rebuilds.
#pragma once

#include "UnitTestBase.h"

#include <optional>
#include <string>

namespace Kalvoro {

class TListingCache {
public:
  // The folder of the entries: KALVORO_CACHE_DIR, else
  // $XDG_CACHE_HOME/kalvoro/listings, else ~/.cache/kalvoro/listings; empty
  // where there is none (no home) or KALVORO_CACHE_DIR is set empty: then
  // nothing is kept.
  static std::string Folder();
  // The kept report of aKind's listing of aModule's program.
  static std::optional<std::string> Find(const TModule& aModule, const std::string& aKind);
  // The identities that an entry of aModule's program is stamped with;
  // taken before the program lists, so that a rebuild while it lists is
  // never stamped on the old report.
  static std::string Stamp(const TModule& aModule);
  // Keeps aReport as that listing when the files still carry aStamp (a
  // failure to write is no error: the next run lists again).
  static void Keep(const TModule& aModule, const std::string& aKind, const std::string& aStamp,
                   const std::string& aReport);

private:
  static std::string EntryPath(const TModule& aModule, const std::string& aKind);
};

} // namespace Kalvoro
