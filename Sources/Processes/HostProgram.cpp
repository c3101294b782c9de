#include "HostProgram.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <string>

namespace Kalvoro {

// This code is linked into the program, not into the library, so the
// library is asked for by its soname among the loaded objects: the path the
// loader found it under is the one it loaded.
std::string LibraryPath() {
  void* Library = dlopen(KALVORO_LIBRARY_SONAME, RTLD_LAZY | RTLD_NOLOAD);
  if (Library == nullptr)
    return {};
  std::string Path;
  struct link_map* Map = nullptr;
  if (dlinfo(Library, RTLD_DI_LINKMAP, &Map) == 0 && Map != nullptr && Map->l_name != nullptr)
    Path = Map->l_name;
  dlclose(Library);
  return Path;
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
