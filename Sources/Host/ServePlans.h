// The host program's life: "kalvoro-host --run SOCKET RING PARENT" (started
// by a runner, never by hand) takes its socket and ring, says hello,
// and then answers the runner's requests in turn: a List loads a module
// (ListModule.h) and keeps it for the plans that follow, a plan runs its
// methods with the in-process guards and publishes every message into the
// ring, a plan sent ahead waits until the running one is done. After each
// plan it answers Finished and waits for the next, or Retire and ends (a
// caught crash, a stop, a signal, a thread or child of the tests left): a
// process that crashed is not trusted again. When the runner closes the
// socket it unloads its modules and ends.
#pragma once

namespace Kalvoro {

int HostMain(int argc, char** argv);

} // namespace Kalvoro
