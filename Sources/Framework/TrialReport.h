// What the load trial process (kalvoro-host --trial) and the program that
// started it say to each other over the trial's socket.
//
// The program sends the paths to try, each ended by a zero byte, then shuts
// its side down. The trial answers with one record when it starts and one
// per module, in the order given: a tag byte, the payload's length (four
// bytes, host order) and the payload. After a module whose start-up or
// shut-down crashed or raised, the trial ends: its loader may be left locked.
#pragma once

#include "CrashGuard.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace Kalvoro {

enum TTrialTag : char {
  ttReady = 'H',          // the trial has started; no payload
  ttCameThrough = 'O',    // loaded and unloaded, or not loadable at all
  ttStartUpCrash = 'S',   // payload: TTrialCrash
  ttStartUpRaised = 's',  // payload: the error's text
  ttShutDownCrash = 'D',  // payload: TTrialCrash
  ttShutDownRaised = 'd', // payload: the error's text
};

// A crash frame as bytes that mean the same in both processes (the frame's
// exit call is a pointer into the process that filled it).
struct TTrialCrash {
  std::int32_t Signal = 0;
  std::int32_t Code = 0;
  std::int32_t ExitStatus = 0;
  std::uint8_t StackOverflow = 0;
  char ExitCall[15] = {};

  static TTrialCrash Of(const TCrashFrame& aFrame) {
    TTrialCrash Crash;
    Crash.Signal = aFrame.Signal;
    Crash.Code = aFrame.Code;
    Crash.ExitStatus = aFrame.ExitStatus;
    Crash.StackOverflow = aFrame.StackOverflow ? 1 : 0;
    if (aFrame.ExitCall != nullptr)
      std::strncpy(Crash.ExitCall, aFrame.ExitCall, sizeof Crash.ExitCall - 1);
    return Crash;
  }

  // The frame's text as the crash guard words it.
  std::string Text() const {
    TCrashFrame Frame;
    Frame.Signal = Signal;
    Frame.Code = Code;
    Frame.ExitStatus = ExitStatus;
    Frame.StackOverflow = StackOverflow != 0;
    char Call[sizeof ExitCall + 1] = {};
    std::memcpy(Call, ExitCall, sizeof ExitCall);
    Frame.ExitCall = Call[0] != 0 ? Call : nullptr;
    return CrashText(Frame);
  }
};

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
