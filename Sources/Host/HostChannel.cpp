#include "HostChannel.h"

#include <cerrno>
#include <ctime>
#include <sys/socket.h>
#include <unistd.h>

namespace Kalvoro {

namespace {
constexpr std::size_t FlushSize = 256 * 1024;
constexpr std::int64_t FlushDelay = 2'000'000;      // ns
constexpr std::int64_t StopCheckDelay = 10'000'000; // ns

std::int64_t CoarseNow() {
  timespec Now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &Now);
  return static_cast<std::int64_t>(Now.tv_sec) * 1'000'000'000 + Now.tv_nsec;
}
} // namespace

std::int64_t MonotonicNanoseconds() {
  timespec Now{};
  clock_gettime(CLOCK_MONOTONIC, &Now);
  return static_cast<std::int64_t>(Now.tv_sec) * 1'000'000'000 + Now.tv_nsec;
}

void THostChannel::FlushSoon() {
  if (FFrames.Size() == 0)
    return;
  const std::int64_t Now = CoarseNow();
  if (FFirstUnflushed == 0)
    FFirstUnflushed = Now;
  if (FFrames.Size() >= FlushSize || Now - FFirstUnflushed >= FlushDelay)
    Flush();
}

void THostChannel::Flush() {
  const std::string& Data = FFrames.Data();
  std::size_t Done = 0;
  while (Done < Data.size()) {
    const ssize_t Written = send(FDescriptor, Data.data() + Done, Data.size() - Done, MSG_NOSIGNAL);
    if (Written < 0 && errno == EINTR)
      continue;
    if (Written <= 0)
      _exit(3); // the parent is gone: nobody is left to report to
    Done += static_cast<std::size_t>(Written);
  }
  FFrames.Clear();
  FFirstUnflushed = 0;
}

bool THostChannel::ReadFrame(std::string& aPayload, THostFrame& aKind) {
  for (;;) {
    THostFrameView Frame{};
    if (FReader.Next(Frame)) {
      aKind = Frame.Kind;
      aPayload.assign(Frame.Payload);
      return true;
    }
    char Buffer[65536];
    const ssize_t Read = recv(FDescriptor, Buffer, sizeof Buffer, 0);
    if (Read < 0 && errno == EINTR)
      continue;
    if (Read <= 0)
      return false;
    FReader.Append(Buffer, static_cast<std::size_t>(Read));
  }
}

bool THostChannel::StopRequested() {
  if (FStop)
    return true;
  const std::int64_t Now = CoarseNow();
  if (Now - FLastStopCheck < StopCheckDelay)
    return false;
  FLastStopCheck = Now;
  char Buffer[4096];
  for (;;) {
    const ssize_t Read = recv(FDescriptor, Buffer, sizeof Buffer, MSG_DONTWAIT);
    if (Read == 0)
      _exit(3); // the parent closed its end
    if (Read < 0)
      break;
    FReader.Append(Buffer, static_cast<std::size_t>(Read));
  }
  THostFrameView Frame{};
  while (FReader.Next(Frame))
    if (Frame.Kind == THostFrame::Stop)
      FStop = true;
  return FStop;
}

} // namespace Kalvoro
