#include "HostRing.h"

#include "HostProtocol.h"

#include <algorithm>
#include <cstring>

namespace Kalvoro {

std::size_t RingAppend(void* aMapping, const char* aData, std::size_t aSize) {
  THostRingHeader& Header = *RingHeader(aMapping);
  char* Data = RingData(aMapping);
  std::uint64_t Written = Header.Written.load(std::memory_order_relaxed);
  const std::uint64_t Read = Header.Read.load(std::memory_order_acquire);
  std::size_t Done = 0;
  while (Done < aSize && Written - Read < HostRingCapacity) {
    const std::size_t At = static_cast<std::size_t>(Written % HostRingCapacity);
    const std::size_t Chunk =
        std::min({aSize - Done, static_cast<std::size_t>(HostRingCapacity - (Written - Read)),
                  HostRingCapacity - At});
    std::memcpy(Data + At, aData + Done, Chunk);
    Done += Chunk;
    Written += Chunk;
  }
  Header.Written.store(Written, std::memory_order_release);
  return Done;
}

std::uint64_t RingReadSoFar(void* aMapping) {
  return RingHeader(aMapping)->Read.load(std::memory_order_acquire);
}

std::uint64_t RingUnread(void* aMapping) {
  const THostRingHeader& Header = *RingHeader(aMapping);
  return Header.Written.load(std::memory_order_relaxed) -
         Header.Read.load(std::memory_order_acquire);
}

bool RingHasNew(void* aMapping, std::uint64_t aRead) {
  return RingHeader(aMapping)->Written.load(std::memory_order_acquire) != aRead;
}

bool RingTake(void* aMapping, std::uint64_t& aRead, THostFrameReader& aReader) {
  THostRingHeader& Header = *RingHeader(aMapping);
  const std::uint64_t Written = Header.Written.load(std::memory_order_acquire);
  // The host writes these numbers: they must add up.
  if (Written < aRead || Written - aRead > HostRingCapacity)
    return false;
  const char* Data = RingData(aMapping);
  while (aRead < Written) {
    const std::size_t At = static_cast<std::size_t>(aRead % HostRingCapacity);
    const std::size_t Chunk =
        std::min(static_cast<std::size_t>(Written - aRead), HostRingCapacity - At);
    aReader.Append(Data + At, Chunk);
    aRead += Chunk;
  }
  Header.Read.store(aRead, std::memory_order_release);
  return true;
}

} // namespace Kalvoro
