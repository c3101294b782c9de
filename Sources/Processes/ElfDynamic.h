// What an ELF file's dynamic section says about the libraries it needs and
// the symbols it leaves to them: read from its bytes, nothing is loaded.
#pragma once

#include <string>
#include <vector>

namespace Kalvoro {

struct TElfDynamic {
  std::vector<std::string> Needed;     // DT_NEEDED names
  std::vector<std::string> SearchPath; // DT_RUNPATH and DT_RPATH values
  // Undefined dynamic symbols whose names begin with "__" (the runtimes'
  // entry points; a C++ name begins with "_Z").
  std::vector<std::string> Undefined;
};

// Reads an ELF64 file of this machine's byte order; false where it is none.
bool ReadElfDynamic(const std::string& aPath, TElfDynamic& aDynamic);

// The libraries that aPath needs and that its own search path ($ORIGIN
// taken as its folder) or LD_LIBRARY_PATH finds: a project's own libraries,
// which a rebuild changes beside its programs (the system's are left out).
std::vector<std::string> LocalLibraries(const std::string& aPath);

} // namespace Kalvoro
