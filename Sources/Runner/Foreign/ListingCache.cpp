#include "ListingCache.h"

#include "ElfDynamic.h"
#include "FileIdentity.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace Kalvoro {

namespace {

// Since 3 a GoogleTest listing is kept in short, not as the program's JSON:
// an earlier release, which could not read it, keeps its entries apart.
constexpr const char* Format = "kalvoro-listing 3";

// FNV-1a: a file name for a key; the key itself is checked in the stamp.
std::string Hash(const std::string& aText) {
  std::uint64_t Value = 14695981039346656037ull;
  for (const unsigned char Byte : aText)
    Value = (Value ^ Byte) * 1099511628211ull;
  char Text[17];
  std::snprintf(Text, sizeof Text, "%016llx", static_cast<unsigned long long>(Value));
  return Text;
}

void AddIdentity(std::string& aStamp, const std::string& aPath) {
  const TFileIdentity Identity = FileIdentityOf(aPath);
  aStamp += aPath + '\0' + std::to_string(Identity.Device) + ' ' + std::to_string(Identity.Inode) +
            ' ' + std::to_string(Identity.Size) + ' ' + std::to_string(Identity.Modified) + ' ' +
            std::to_string(Identity.Changed) + '\n';
}

std::string Key(const std::string& aPath, const std::string& aWhat) {
  return std::string(Format) + '\n' + aWhat + '\n' + aPath + '\n';
}

} // namespace

std::string TListingCache::Folder() {
  if (const char* Own = std::getenv("KALVORO_CACHE_DIR"))
    return *Own == '\0' ? std::string() : std::string(Own) + "/listings";
  if (const char* Cache = std::getenv("XDG_CACHE_HOME"); Cache != nullptr && *Cache == '/')
    return std::string(Cache) + "/kalvoro/listings";
  if (const char* Home = std::getenv("HOME"); Home != nullptr && *Home == '/')
    return std::string(Home) + "/.cache/kalvoro/listings";
  return {};
}

std::string TListingCache::What(const TModule& aModule, const std::string& aKind) {
  const TProgramSettings& Settings = aModule.ProgramSettings();
  std::string What = aKind + '\n';
  for (const std::string& Argument : Settings.Arguments)
    What += "a " + Argument + '\0';
  for (const std::string& Variable : Settings.Environment)
    What += "e " + Variable + '\0';
  return What + "d " + Settings.Directory;
}

std::string TListingCache::EntryPath(const std::string& aPath, const std::string& aWhat) {
  const std::string Where = Folder();
  return Where.empty() ? std::string() : Where + "/" + Hash(Key(aPath, aWhat));
}

std::string TListingCache::Stamp(const std::string& aPath) {
  std::string Stamp;
  AddIdentity(Stamp, aPath);
  for (const std::string& Library : LocalLibraries(aPath))
    AddIdentity(Stamp, Library);
  return Stamp;
}

std::optional<std::string> TListingCache::Find(const std::string& aPath, const std::string& aWhat,
                                               const std::string* aStamp) {
  const std::string Path = EntryPath(aPath, aWhat);
  if (Path.empty())
    return std::nullopt;
  // Read in one piece: an entry may hold a large report.
  std::ifstream File(Path, std::ios::binary | std::ios::ate);
  if (!File)
    return std::nullopt;
  std::string Entry(static_cast<std::size_t>(std::max<std::streamoff>(File.tellg(), 0)), '\0');
  File.seekg(0);
  File.read(Entry.data(), static_cast<std::streamsize>(Entry.size()));
  // The entry: its key, its stamp, the report's size and the report (an
  // entry cut short is a miss).
  const std::string Head = Key(aPath, aWhat) + (aStamp != nullptr ? *aStamp : Stamp(aPath)) + '\0';
  if (!File || Entry.compare(0, Head.size(), Head) != 0)
    return std::nullopt;
  const std::size_t Break = Entry.find('\n', Head.size());
  if (Break == std::string::npos ||
      Entry.size() - Break - 1 != std::strtoull(Entry.c_str() + Head.size(), nullptr, 10))
    return std::nullopt;
  Entry.erase(0, Break + 1);
  return Entry;
}

void TListingCache::Keep(const std::string& aPath, const std::string& aWhat,
                         const std::string& aStamp, const std::string& aReport) {
  const std::string Path = EntryPath(aPath, aWhat);
  if (Path.empty() || Stamp(aPath) != aStamp)
    return;
  std::error_code Error;
  std::filesystem::create_directories(Folder(), Error);
  // Written aside and renamed over, so that a reader never sees half an
  // entry.
  const std::string Aside = Path + "." + std::to_string(getpid());
  {
    std::ofstream File(Aside, std::ios::binary | std::ios::trunc);
    File << Key(aPath, aWhat) << aStamp << '\0' << aReport.size() << '\n' << aReport;
    if (!File.flush()) {
      std::filesystem::remove(Aside, Error);
      return;
    }
  }
  std::filesystem::rename(Aside, Path, Error);
  if (Error)
    std::filesystem::remove(Aside, Error);
}

} // namespace Kalvoro
