#include "FileIdentity.h"

#include <sys/stat.h>

namespace Kalvoro {

TFileIdentity FileIdentityOf(const std::string& aPath) {
  TFileIdentity Identity;
  struct stat Status {};
  if (aPath.empty() || ::stat(aPath.c_str(), &Status) != 0)
    return Identity;
  Identity.Exists = true;
  Identity.Device = Status.st_dev;
  Identity.Inode = Status.st_ino;
  Identity.Size = Status.st_size;
  Identity.ModifiedSeconds = Status.st_mtim.tv_sec;
  Identity.ModifiedNanoseconds = Status.st_mtim.tv_nsec;
  return Identity;
}

} // namespace Kalvoro
