// The host's ends of its channel to the runner: frames go into the ring that
// both map (HostRing.h), published at every message; the socket brings the
// plans (the next one may come while a plan runs) and a stop, and wakes the
// runner when the ring fills up.
#pragma once

#include "HostProtocol.h"

#include <cstdint>
#include <deque>
#include <string>
#include <utility>

namespace Kalvoro {

class TRunnerChannel {
public:
  // aSocket: the socket; aRing: the ring's memory file. Ends the process
  // when the ring cannot be mapped.
  TRunnerChannel(int aSocket, int aRing);

  THostFrameWriter& Frames() { return FFrames; }
  // Publishes the frames gathered so far; waits while the ring is full. A
  // runner that is gone ends the host.
  void Flush();
  // Publishes and wakes the runner at once: for an answer it waits for (a
  // listing), which would otherwise sit in the ring until its next look.
  void FlushAndWake();
  // The next frame that the runner sent (a plan), waiting for it.
  bool ReadFrame(std::string& aPayload, THostFrame& aKind);
  // True when the runner asked to stop after the running method; looks at
  // the socket at most every few milliseconds.
  bool StopRequested();
  // Whether the socket is still the one the host was given: test code may
  // close it (close_range, as daemon code does) or put another file in its
  // place. Ends the process when the ring is gone too, as then nothing can
  // be told.
  bool Intact();

private:
  void Wake();
  // Takes what the socket brought; false when the runner closed it.
  bool ReadSocket(int aTimeout);

  int FSocket;
  int FSocketFlags; // its descriptor flags when given (a replaced one differs)
  char* FRing = nullptr;
  THostFrameWriter FFrames;
  THostFrameReader FReader;
  // Frames that a look for a stop came across: the next plan, sent ahead.
  std::deque<std::pair<THostFrame, std::string>> FPending;
  std::int64_t FLastStopCheck = 0;
  std::uint64_t FWokenAt = UINT64_MAX; // how far the runner had read at the last wake
  bool FStop = false;
};

} // namespace Kalvoro
