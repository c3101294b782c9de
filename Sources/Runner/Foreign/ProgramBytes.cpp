#include "ProgramBytes.h"

#include "ModuleKind.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

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

} // namespace

bool FileHoldsAny(const std::string& aPath, const std::vector<std::string_view>& aMarkers) {
  return TMappedFile(aPath).HoldsAny(aMarkers);
}

TForeignFramework ForeignFrameworkOf(const std::string& aPath) {
  if (ModuleKindOf(aPath) != TModuleKind::TestProgram)
    return TForeignFramework::None;
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

} // namespace Kalvoro
