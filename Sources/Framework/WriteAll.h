// Writing a whole buffer to a descriptor: a pipe, a file or a socket. The
// loop that every writer of this code needs (a write may take part of the
// buffer, be interrupted by a signal, or find a non-blocking descriptor
// full), written once.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace Kalvoro {

// Writes all of aData to aFile; false when the other end is gone or the
// write failed, with errno telling why (ENOSPC when a write took nothing).
// A socket is written without SIGPIPE; a full non-blocking descriptor is
// waited for until it takes more. Allocates nothing and calls only
// async-signal-safe functions, so that a process may still report after a
// crash.
inline bool WriteAll(int aFile, const void* aData, std::size_t aSize) {
  const char* Data = static_cast<const char*>(aData);
  bool Socket = true;
  while (aSize > 0) {
    ssize_t Written = Socket ? send(aFile, Data, aSize, MSG_NOSIGNAL) : write(aFile, Data, aSize);
    if (Written < 0 && errno == ENOTSOCK && Socket) {
      Socket = false;
      continue;
    }
    if (Written < 0 && errno == EINTR)
      continue;
    if (Written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd Polled{aFile, POLLOUT, 0};
      poll(&Polled, 1, 100);
      continue;
    }
    if (Written == 0)
      errno = ENOSPC;
    if (Written <= 0)
      return false;
    Data += Written;
    aSize -= static_cast<std::size_t>(Written);
  }
  return true;
}

} // namespace Kalvoro
