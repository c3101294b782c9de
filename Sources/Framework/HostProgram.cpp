#include "HostProgram.h"

#include <dlfcn.h>
#include <unistd.h>

#include <string>

namespace Kalvoro {

std::string LibraryPath() {
  Dl_info Info{};
  if (dladdr(reinterpret_cast<void*>(&LibraryPath), &Info) == 0 || Info.dli_fname == nullptr)
    return {};
  return Info.dli_fname;
}

std::string HostProgramPath() {
  const std::string Library = LibraryPath();
  if (Library.empty())
    return {};
  const std::size_t Slash = Library.rfind('/');
  const std::string Folder = Slash == std::string::npos ? "." : Library.substr(0, Slash);
  std::string Host = Folder + "/kalvoro/kalvoro-host";
  return access(Host.c_str(), X_OK) == 0 ? Host : std::string();
}

} // namespace Kalvoro
