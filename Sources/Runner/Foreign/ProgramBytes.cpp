#include "ProgramBytes.h"

#include "FileIdentity.h"
#include "ListingCache.h"
#include "ModuleKind.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <utility>

namespace Kalvoro {

namespace {

constexpr std::string_view GoogleTestMarkers[] = {"gtest_streaming_protocol_version",
                                                  "_ZN7testing8UnitTest11GetInstanceEv"};
constexpr std::string_view Catch2Markers[] = {"A Catch2 test executable", "_ZN5Catch7Session"};
constexpr std::string_view DoctestMarkers[] = {"doctest version is", "_ZN7doctest"};

// The file's bytes mapped for reading; empty when it cannot be.
class TMappedFile {
public:
  explicit TMappedFile(const std::string& aPath) {
    const int File = open(aPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (File < 0)
      return;
    struct stat Status {};
    if (fstat(File, &Status) == 0 && S_ISREG(Status.st_mode) && Status.st_size > 0) {
      void* Data =
          mmap(nullptr, static_cast<std::size_t>(Status.st_size), PROT_READ, MAP_PRIVATE, File, 0);
      if (Data != MAP_FAILED) {
        FData = static_cast<const char*>(Data);
        FSize = static_cast<std::size_t>(Status.st_size);
      }
    }
    close(File);
  }
  ~TMappedFile() {
    if (FData != nullptr)
      munmap(const_cast<char*>(FData), FSize);
  }
  TMappedFile(const TMappedFile&) = delete;
  TMappedFile& operator=(const TMappedFile&) = delete;

  template <class TMarkers> bool HoldsAny(const TMarkers& aMarkers) const {
    for (std::string_view Marker : aMarkers)
      if (FData != nullptr && memmem(FData, FSize, Marker.data(), Marker.size()) != nullptr)
        return true;
    return false;
  }

private:
  const char* FData = nullptr;
  std::size_t FSize = 0;
};

TForeignFramework ReadFramework(const std::string& aPath) {
  const TMappedFile File(aPath);
  const bool GoogleTest = File.HoldsAny(GoogleTestMarkers);
  const bool Catch2 = File.HoldsAny(Catch2Markers);
  const bool Doctest = File.HoldsAny(DoctestMarkers);
  const int Count = int(GoogleTest) + int(Catch2) + int(Doctest);
  if (Count > 1)
    return TForeignFramework::Several;
  if (GoogleTest)
    return TForeignFramework::GoogleTest;
  if (Catch2)
    return TForeignFramework::Catch2;
  return Doctest ? TForeignFramework::Doctest : TForeignFramework::None;
}

} // namespace

bool FileHoldsAny(const std::string& aPath, const std::vector<std::string_view>& aMarkers) {
  return TMappedFile(aPath).HoldsAny(aMarkers);
}

TForeignFramework ForeignFrameworkOf(const std::string& aPath) {
  if (ModuleKindOf(aPath) != TModuleKind::TestProgram)
    return TForeignFramework::None;
  // Each kind asks in turn, and a run asks again: a file is read once for
  // as long as it stays the same file.
  static std::mutex Lock;
  static std::map<std::string, std::pair<TFileIdentity, TForeignFramework>> Known;
  const TFileIdentity Identity = FileIdentityOf(aPath);
  {
    const std::lock_guard<std::mutex> Hold(Lock);
    const auto Found = Known.find(aPath);
    if (Found != Known.end() && Found->second.first == Identity && Identity.Exists)
      return Found->second.second;
  }
  // Kept on disk too, by the file's identity, for the next run.
  TForeignFramework Framework = TForeignFramework::None;
  const std::optional<std::string> Kept = TListingCache::Find(aPath, "framework");
  if (Kept && Kept->size() == 1 && (*Kept)[0] >= '0' && (*Kept)[0] <= '4') {
    Framework = static_cast<TForeignFramework>((*Kept)[0] - '0');
  } else {
    const std::string Stamp = TListingCache::Stamp(aPath);
    Framework = ReadFramework(aPath);
    TListingCache::Keep(aPath, "framework", Stamp,
                        std::string(1, static_cast<char>('0' + static_cast<int>(Framework))));
  }
  const std::lock_guard<std::mutex> Hold(Lock);
  Known[aPath] = {Identity, Framework};
  return Framework;
}

} // namespace Kalvoro
