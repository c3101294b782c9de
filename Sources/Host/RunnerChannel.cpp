#include "RunnerChannel.h"

#include "HostRing.h"

#include "CrashGuard.h"
#include "MonotonicClock.h"
#include <fcntl.h>

#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace Kalvoro {

namespace {
constexpr std::int64_t StopCheckDelay = 10'000'000; // ns

} // namespace

TRunnerChannel::TRunnerChannel(int aSocket, int aRing)
    : FSocket(aSocket), FSocketFlags(fcntl(aSocket, F_GETFD)) {
  void* Mapping = mmap(nullptr, HostRingSize, PROT_READ | PROT_WRITE, MAP_SHARED, aRing, 0);
  close(aRing);
  if (Mapping == MAP_FAILED)
    EndProcessNow(3);
  FRing = static_cast<char*>(Mapping);
}

bool TRunnerChannel::Intact() {
  // One system call: a closed descriptor has no flags, and one that dup2
  // put in its place has lost FD_CLOEXEC.
  if (fcntl(FSocket, F_GETFD) == FSocketFlags)
    return true;
  if (msync(FRing, HostRingSize, MS_ASYNC) != 0)
    EndProcessNow(3);
  return false;
}

void TRunnerChannel::Wake() {
  // One byte; a full socket already holds a wake-up.
  const char Byte = 'w';
  (void)send(FSocket, &Byte, 1, MSG_DONTWAIT | MSG_NOSIGNAL);
}

void TRunnerChannel::FlushAndWake() {
  Flush();
  Wake();
}

void TRunnerChannel::Flush() {
  const std::string& Frames = FFrames.Data();
  std::size_t Done = 0;
  while (Done < Frames.size()) {
    const std::size_t Taken = RingAppend(FRing, Frames.data() + Done, Frames.size() - Done);
    if (Taken == 0) {
      // Full: wake the runner and wait until it has taken some.
      Wake();
      if (!ReadSocket(1))
        EndProcessNow(3); // the runner is gone: nobody is left to report to
    }
    Done += Taken;
  }
  FFrames.Clear();
  // A runner that waits is woken when the ring fills up; otherwise it looks
  // at the ring every few milliseconds by itself. Once per reading of the
  // runner is enough: while it reads, it has been woken already.
  const std::uint64_t Read = RingReadSoFar(FRing);
  if (RingUnread(FRing) >= HostRingCapacity / 2 && Read != FWokenAt) {
    FWokenAt = Read;
    Wake();
  }
}

bool TRunnerChannel::ReadSocket(int aTimeout) {
  // What waits in the socket is taken without a poll first (the runner sends
  // a project's next listing ahead, so it is usually there), and a read
  // that did not fill the buffer emptied the socket: no further call is
  // needed to hear so. A poll comes only when nothing was there.
  char Buffer[4096];
  bool MayWait = aTimeout != 0;
  for (;;) {
    const ssize_t Read = recv(FSocket, Buffer, sizeof Buffer, MSG_DONTWAIT);
    if (Read == 0)
      return false;
    if (Read > 0) {
      FReader.Append(Buffer, static_cast<std::size_t>(Read));
      if (static_cast<std::size_t>(Read) < sizeof Buffer)
        return true;
      MayWait = false; // the rest of a full buffer is taken, not waited for
      continue;
    }
    if (errno == EINTR)
      return true;
    if (errno != EAGAIN && errno != EWOULDBLOCK)
      return false;
    if (!MayWait)
      return true;
    MayWait = false;
    pollfd Waiting{FSocket, POLLIN, 0};
    if (poll(&Waiting, 1, aTimeout) <= 0)
      return true;
  }
}

bool TRunnerChannel::ReadFrame(std::string& aPayload, THostFrame& aKind) {
  if (!FPending.empty()) {
    aKind = FPending.front().first;
    aPayload = std::move(FPending.front().second);
    FPending.pop_front();
    return true;
  }
  for (;;) {
    THostFrameView Frame{};
    if (FReader.Next(Frame)) {
      aKind = Frame.Kind;
      aPayload.assign(Frame.Payload);
      return true;
    }
    if (!ReadSocket(-1))
      return false;
  }
}

bool TRunnerChannel::StopRequested() {
  if (FStop)
    return true;
  const std::int64_t Now = CoarseMonotonicNanoseconds();
  if (Now - FLastStopCheck < StopCheckDelay)
    return false;
  FLastStopCheck = Now;
  if (!ReadSocket(0))
    EndProcessNow(3); // the runner closed its end
  THostFrameView Frame{};
  while (FReader.Next(Frame)) {
    if (Frame.Kind == THostFrame::Stop)
      FStop = true;
    else
      FPending.emplace_back(Frame.Kind, std::string(Frame.Payload));
  }
  return FStop;
}

} // namespace Kalvoro
