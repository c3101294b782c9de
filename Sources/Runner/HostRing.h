// The memory through which a run host sends its frames: a ring that the
// runner maps too. The host appends and publishes how far it has written;
// the runner copies out and publishes how far it has read. Nothing of it
// costs a system call, so a host may publish at every message: a host that
// dies has lost nothing it published, and a passing method costs no more
// than copying its frames. The socket only wakes a runner that sleeps while
// the ring fills, and carries the runner's plan and stop.
//
// The host is test code: the runner checks every index it reads from the
// ring, and a ring that does not add up is the host's death.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace Kalvoro {

struct THostRingHeader {
  std::atomic<std::uint64_t> Written{0}; // bytes published by the host
  std::atomic<std::uint64_t> Read{0};    // bytes taken by the runner
};

// Small enough that a run reuses the same pages once it has gone round (a
// page that either process touches first costs a fault), large enough that
// a host writing checks by the million wakes the runner seldom.
inline constexpr std::size_t HostRingCapacity = 256u << 10;
inline constexpr std::size_t HostRingSize = 64 + HostRingCapacity;

inline THostRingHeader* RingHeader(void* aMapping) {
  return static_cast<THostRingHeader*>(aMapping);
}
inline char* RingData(void* aMapping) {
  return static_cast<char*>(aMapping) + 64;
}

} // namespace Kalvoro
