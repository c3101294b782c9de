// Listings of test programs kept on disk by the program's file identity, so
// that a run of a program that has not changed does not start it once more
// to list its tests (and what its bytes say it is, so that a run does not
// read it whole again). An entry is the program's own list report (or what
// its kind keeps of it), stamped with the identities of the program and of the project's libraries
// it needs (LocalLibraries in ElfDynamic.h) and with its settings; a stamp that differs is a miss.
// Each program (path, kind, settings) has one entry, which its next listing replaces, so the folder
// does not grow with rebuilds.
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
  // What a listing of aModule's program by aKind depends on beside the
  // files: the kind (and its list command) and the module's settings.
  static std::string What(const TModule& aModule, const std::string& aKind);
  // The kept report of that listing of the program at aPath, whose files
  // carry aStamp where the caller has taken it already.
  static std::optional<std::string> Find(const std::string& aPath, const std::string& aWhat,
                                         const std::string* aStamp = nullptr);
  // The identities that an entry of the program at aPath is stamped with;
  // taken before the program lists, so that a rebuild while it lists is
  // never stamped on the old report.
  static std::string Stamp(const std::string& aPath);
  // Keeps aReport as that listing when the files still carry aStamp (a
  // failure to write is no error: the next run lists again).
  static void Keep(const std::string& aPath, const std::string& aWhat, const std::string& aStamp,
                   const std::string& aReport);

private:
  static std::string EntryPath(const std::string& aPath, const std::string& aWhat);
};

} // namespace Kalvoro
