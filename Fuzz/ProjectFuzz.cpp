// Feeds arbitrary bytes to TProject::LoadProject as a project file. A load
// must complete or end with one of the load messages, never crash, hang or
// leak; a completed load must save and read back the same.
#include "ProjectLoadOracle.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

std::string ScratchName(const char* aSuffix) {
  const char* Folder = std::getenv("TMPDIR");
  return std::string(Folder != nullptr && *Folder != '\0' ? Folder : "/tmp") + "/kalvoro-fuzz-" +
         std::to_string(::getpid()) + aSuffix;
}

const std::string InputFile = ScratchName(".kvr");
const std::string SavedFile = ScratchName("-saved.kvr");

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  const std::string_view Data(reinterpret_cast<const char*>(aData), aSize);
  if (KalvoroFuzz::MayNameALibrary(Data))
    return -1;
  {
    std::ofstream Stream(InputFile, std::ios::binary | std::ios::trunc);
    Stream.write(Data.data(), static_cast<std::streamsize>(Data.size()));
  }
  const std::string Problem = KalvoroFuzz::CheckProjectFile(InputFile, SavedFile);
  std::remove(SavedFile.c_str());
  if (!Problem.empty()) {
    std::fprintf(stderr, "%s\n", Problem.c_str());
    std::abort();
  }
  return 0;
}
