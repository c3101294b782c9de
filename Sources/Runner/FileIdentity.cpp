#include "FileIdentity.h"

#include <sys/stat.h>

namespace Kalvoro {

namespace {
std::int64_t Nanoseconds(const timespec& aTime) {
  return static_cast<std::int64_t>(aTime.tv_sec) * 1000000000 + aTime.tv_nsec;
}
} // namespace

TFileIdentity FileIdentityOf(const struct stat& aStatus) {
  return {true,
          static_cast<std::uint64_t>(aStatus.st_dev),
          static_cast<std::uint64_t>(aStatus.st_ino),
          static_cast<std::uint64_t>(aStatus.st_size),
          Nanoseconds(aStatus.st_mtim),
          Nanoseconds(aStatus.st_ctim)};
}

TFileIdentity FileIdentityOf(const std::string& aPath) {
  struct stat Status {};
  if (aPath.empty() || stat(aPath.c_str(), &Status) != 0)
    return {};
  return FileIdentityOf(Status);
}

bool ReadFileIdentity(const std::string& aPath, TFileIdentity& aIdentity) {
  aIdentity = FileIdentityOf(aPath);
  return aIdentity.Exists;
}

} // namespace Kalvoro
