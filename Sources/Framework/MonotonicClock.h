// The monotonic clock in nanoseconds, as every deadline and timestamp of the
// programs and the crash guard reads it. Both calls are async-signal-safe and
// make no system call on Linux (the vDSO answers them).
#pragma once

#include <time.h>

#include <cstdint>

namespace Kalvoro {

inline std::int64_t NanosecondsOf(clockid_t aClock) noexcept {
  timespec Now{};
  clock_gettime(aClock, &Now);
  return static_cast<std::int64_t>(Now.tv_sec) * 1'000'000'000 + Now.tv_nsec;
}

// Exact: deadlines of phases and hosts, the messages' timestamps.
inline std::int64_t MonotonicNanoseconds() noexcept {
  return NanosecondsOf(CLOCK_MONOTONIC);
}

// To the system's tick (a few milliseconds), at a fraction of the cost:
// for checks made at every message whether a while has passed.
inline std::int64_t CoarseMonotonicNanoseconds() noexcept {
  return NanosecondsOf(CLOCK_MONOTONIC_COARSE);
}

} // namespace Kalvoro
