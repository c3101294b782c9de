// Feeds arbitrary bytes to the runner's reader of run-host frames, whole and
// in small pieces.
#include "HostFrameOracle.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* aData, std::size_t aSize) {
  const std::string_view Data(reinterpret_cast<const char*>(aData), aSize);
  for (const std::size_t Chunk : {aSize + 1, std::size_t{7}}) {
    const std::string Problem = KalvoroFuzz::CheckHostBytes(Data, Chunk);
    if (!Problem.empty()) {
      std::fprintf(stderr, "%s\n", Problem.c_str());
      std::abort();
    }
  }
  return 0;
}
