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

// Only Catch2 3 names its report's root so.
constexpr std::string_view Catch2Version3Markers[] = {"Catch2TestRun"};

// What the bytes say: the framework, and for Catch2 whether it is the third
// version, whose options differ.
struct TProgramBytes {
  TForeignFramework Framework = TForeignFramework::None;
  bool Catch2Version3 = false;
};

TProgramBytes ReadBytes(const std::string& aPath) {
  const TMappedFile File(aPath);
  const bool GoogleTest = File.HoldsAny(GoogleTestMarkers);
  const bool Catch2 = File.HoldsAny(Catch2Markers);
  const bool Doctest = File.HoldsAny(DoctestMarkers);
  const int Count = int(GoogleTest) + int(Catch2) + int(Doctest);
  TProgramBytes Bytes;
  Bytes.Catch2Version3 = Catch2 && File.HoldsAny(Catch2Version3Markers);
  Bytes.Framework = Count > 1    ? TForeignFramework::Several
                    : GoogleTest ? TForeignFramework::GoogleTest
                    : Catch2     ? TForeignFramework::Catch2
                    : Doctest    ? TForeignFramework::Doctest
                                 : TForeignFramework::None;
  return Bytes;
}

// Each kind asks in turn, and a run asks again: a file is read once for as
// long as it stays the same file.
TProgramBytes KnownBytes(const std::string& aPath) {
  static std::mutex Lock;
  static std::map<std::string, std::pair<TFileIdentity, TProgramBytes>> Known;
  const TFileIdentity Identity = FileIdentityOf(aPath);
  {
    const std::lock_guard<std::mutex> Hold(Lock);
    const auto Found = Known.find(aPath);
    if (Found != Known.end() && Found->second.first == Identity && Identity.Exists)
      return Found->second.second;
  }
  // Kept on disk too, by the file's identity, for the next run: the
  // framework's digit, then '3' for Catch2 3 (an entry of an earlier
  // release, which told no version, is under another key).
  TProgramBytes Bytes;
  const std::optional<std::string> Kept = TListingCache::Find(aPath, "framework 2");
  if (Kept && !Kept->empty() && Kept->size() <= 2 && (*Kept)[0] >= '0' && (*Kept)[0] <= '4') {
    Bytes.Framework = static_cast<TForeignFramework>((*Kept)[0] - '0');
    Bytes.Catch2Version3 = Kept->size() == 2 && (*Kept)[1] == '3';
  } else {
    const std::string Stamp = TListingCache::Stamp(aPath);
    Bytes = ReadBytes(aPath);
    TListingCache::Keep(aPath, "framework 2", Stamp,
                        std::string(1, static_cast<char>('0' + static_cast<int>(Bytes.Framework))) +
                            (Bytes.Catch2Version3 ? "3" : ""));
  }
  const std::lock_guard<std::mutex> Hold(Lock);
  Known[aPath] = {Identity, Bytes};
  return Bytes;
}

} // namespace

bool FileHoldsAny(const std::string& aPath, const std::vector<std::string_view>& aMarkers) {
  return TMappedFile(aPath).HoldsAny(aMarkers);
}

TForeignFramework ForeignFrameworkOf(const std::string& aPath) {
  if (ModuleKindOf(aPath) != TModuleKind::TestProgram)
    return TForeignFramework::None;
  return KnownBytes(aPath).Framework;
}

bool IsCatch2Version3(const std::string& aPath) {
  return ModuleKindOf(aPath) == TModuleKind::TestProgram && KnownBytes(aPath).Catch2Version3;
}

} // namespace Kalvoro
