// How a module file is opened and named to the dynamic loader.
#include "ModuleFile.h"

#include "CrashGuard.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>

namespace Kalvoro {

namespace {
std::int64_t Nanoseconds(const timespec& aTime) {
  return static_cast<std::int64_t>(aTime.tv_sec) * 1000000000 + aTime.tv_nsec;
}
} // namespace

TModuleFileIdentity IdentityOf(const struct stat& aStatus) {
  return {static_cast<std::uint64_t>(aStatus.st_dev), static_cast<std::uint64_t>(aStatus.st_ino),
          static_cast<std::int64_t>(aStatus.st_size), Nanoseconds(aStatus.st_mtim),
          Nanoseconds(aStatus.st_ctim)};
}

bool ModuleFileIdentity(const std::string& aPath, TModuleFileIdentity& aIdentity) {
  struct stat Status {};
  if (stat(aPath.c_str(), &Status) != 0)
    return false;
  aIdentity = IdentityOf(Status);
  return true;
}

int OpenModuleFile(const std::string& aPath, std::string& aError, struct stat& aStatus) {
  const int File = ::open(aPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (File < 0) {
    aError = aPath + ": cannot open shared object file: " + std::strerror(errno);
    return -1;
  }
  if (::fstat(File, &aStatus) != 0 || !S_ISREG(aStatus.st_mode)) {
    aError = aPath + ": not a regular file";
    ::close(File);
    return -1;
  }
  return File;
}

std::string DescriptorPath(int aFile) {
  return "/proc/" + std::to_string(GuardedProcess()) + "/fd/" + std::to_string(aFile);
}

namespace {

std::mutex HandedLock;
std::set<std::string> Handed; // names opened, perhaps still mapped

} // namespace

void NameHanded(const std::string& aName) {
  const std::lock_guard<std::mutex> Hold(HandedLock);
  Handed.insert(aName);
}

bool NameTaken(const std::string& aName) {
  {
    const std::lock_guard<std::mutex> Hold(HandedLock);
    if (Handed.count(aName) == 0)
      return false;
  }
  // The loaded objects' names, compared here: asking the loader (a dlopen
  // with RTLD_NOLOAD) opens and reads the file behind the name, which a
  // host listing a project's modules would pay at every module.
  struct TSearch {
    const std::string* Name;
    bool Found;
  } Search{&aName, false};
  dl_iterate_phdr(
      [](dl_phdr_info* aInfo, std::size_t, void* aData) {
        auto* Found = static_cast<TSearch*>(aData);
        Found->Found = aInfo->dlpi_name != nullptr && *Found->Name == aInfo->dlpi_name;
        return Found->Found ? 1 : 0;
      },
      &Search);
  if (!Search.Found) {
    const std::lock_guard<std::mutex> Hold(HandedLock);
    Handed.erase(aName); // its library is gone
  }
  return Search.Found;
}

std::string WithFileName(std::string aText, const std::string& aName, const std::string& aPath) {
  for (std::size_t At = aText.find(aName); At != std::string::npos;
       At = aText.find(aName, At + aPath.size()))
    aText.replace(At, aName.size(), aPath);
  return aText;
}

} // namespace Kalvoro
