// The run host's own process: how it starts (its environment and
// descriptors), how it tells a child that a test forked from itself, and how
// it ends.
#pragma once

#include "RunnerChannel.h"

namespace Kalvoro {

// LeakSanitizer's check of the heap: non-zero when it found leaks, which it
// reported on the standard error.
using TLeakCheck = int (*)();

// The runner preloads a sanitizer's runtime (it must come first): the
// programs that tests start must not inherit it, and the user's own preload
// stays. Returns the runtime's leak check where it has one, else nullptr.
TLeakCheck ForgetPreload();

// Marks every child that a test forks: such a process must never run the
// rest of the plan nor send a frame.
void WatchForks();
// Ends the calling process at once when it is such a child.
void EndIfForked();

// Moves the socket out of the way of descriptors that a test may dup2 onto,
// and closes everything but it, the ring and the three standard ones.
// Returns the socket's new descriptor.
int SecureDescriptors(int aSocket, int aRing);

// Ends the host with aCode, and first every process that its tests started.
[[noreturn]] void Leave(int aCode);

// Ends the host after its last frames. What its tests started is ended
// first: the runner may kill the host as soon as it reads them.
[[noreturn]] void End(TRunnerChannel& aChannel);

} // namespace Kalvoro
