// How a trial's child process reports to the program that forked it.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace Kalvoro {

// Writes all of aData unless the other end is gone. Allocates nothing, so
// that a process may still report after a crash.
inline void WriteAll(int aFile, const void* aData, std::size_t aSize) {
  const char* Data = static_cast<const char*>(aData);
  while (aSize > 0) {
    const ssize_t Written = write(aFile, Data, aSize);
    if (Written < 0 && errno == EINTR)
      continue;
    if (Written <= 0)
      return;
    Data += Written;
    aSize -= static_cast<std::size_t>(Written);
  }
}

} // namespace Kalvoro
