// The host's end of its socket: frames are gathered and written in batches,
// at least at every phase end, so that a passing method costs no system call
// of its own while a host that dies loses at most a few milliseconds of them.
#pragma once

#include "HostProtocol.h"

#include <cstdint>

namespace Kalvoro {

class THostChannel {
public:
  explicit THostChannel(int aDescriptor) : FDescriptor(aDescriptor) {}

  THostFrameWriter& Frames() { return FFrames; }
  // Writes what is gathered when it is large or has waited a while.
  void FlushSoon();
  // Writes what is gathered now; a parent that is gone ends the host.
  void Flush();
  // Reads one whole frame, waiting for it (the plan).
  bool ReadFrame(std::string& aPayload, THostFrame& aKind);
  // True when the parent asked to stop after the running method; looks at
  // the socket at most every few milliseconds.
  bool StopRequested();

private:
  int FDescriptor;
  THostFrameWriter FFrames;
  THostFrameReader FReader;
  std::int64_t FFirstUnflushed = 0;
  std::int64_t FLastStopCheck = 0;
  bool FStop = false;
};

// CLOCK_MONOTONIC in nanoseconds.
std::int64_t MonotonicNanoseconds();

} // namespace Kalvoro
