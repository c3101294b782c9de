// The memory through which a run host sends its frames: a ring that the
// runner maps too. The host appends and publishes how far it has written;
// the runner copies out and publishes how far it has read. Nothing of it
// costs a system call, so a host may publish at every message: a host that
// dies has lost nothing it published, and a passing method costs no more
// than copying its frames. The socket only wakes a runner that sleeps while
// the ring fills, and carries the runner's plan and stop.
//
// The host is test code: the runner checks every index it reads from the
// ring, and a ring that does not add up is the host's death. Both sides'
// code is here, so that the two agree by construction.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace Kalvoro {

class THostFrameReader;

struct THostRingHeader {
  std::atomic<std::uint64_t> Written{0}; // bytes published by the host
  std::atomic<std::uint64_t> Read{0};    // bytes taken by the runner
};

// Large enough that a host writing checks by the million seldom waits for
// the runner to take them (at 256 KiB a million logged checks took 2.7
// times as long in wall time, the host waiting on a full ring), and a run
// goes round it to reuse its pages.
inline constexpr std::size_t HostRingCapacity = 4u << 20;
inline constexpr std::size_t HostRingSize = 64 + HostRingCapacity;

inline THostRingHeader* RingHeader(void* aMapping) {
  return static_cast<THostRingHeader*>(aMapping);
}
inline char* RingData(void* aMapping) {
  return static_cast<char*>(aMapping) + 64;
}

// The host's side: copies as much of aData as the ring has room for and
// publishes it; returns how much it took (0: the ring is full).
std::size_t RingAppend(void* aMapping, const char* aData, std::size_t aSize);
// The host's side: how far the runner has read, and how much of what the
// host published it has not read yet.
std::uint64_t RingReadSoFar(void* aMapping);
std::uint64_t RingUnread(void* aMapping);

// The runner's side: whether the host published anything past aRead.
bool RingHasNew(void* aMapping, std::uint64_t aRead);
// The runner's side: appends what the host published past aRead to
// aReader, publishes it as read and moves aRead on. False, taking nothing,
// when the host's numbers do not add up.
bool RingTake(void* aMapping, std::uint64_t& aRead, THostFrameReader& aReader);

} // namespace Kalvoro
