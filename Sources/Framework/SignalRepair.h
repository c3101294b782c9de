// Keeps the crash guard in force when test code changes signal dispositions
// or signal masks. The library defines signal, sigaction, sigprocmask and
// pthread_sigmask (as it defines exit, ExitGuard.cpp); each call that may
// change something goes on to the C library and is then counted, so that a
// guarded phase tells at the cost of one comparison whether anything needs
// putting right. While a run is under way, the first change of each signal's
// disposition records the disposition it had, and the first change of a
// running thread's mask records that mask, so that the run's end puts the
// program's own state back.
//
// Not seen: changes made by a system call of the test's own, and by the C
// library's other functions (sigset, sighold, sigignore, ...).
#pragma once

#include "Export.h"

#include <signal.h>

#include <atomic>

namespace Kalvoro::SignalRepair {

// The C library's functions, past the interception: the framework's own
// changes are not counted. Sigaction is exported for the programs' own
// changes (Sources/Processes), which must not count either.
KALVORO_API int Sigaction(int aSignal, const struct sigaction* aAction,
                          struct sigaction* aOld) noexcept;
int Sigmask(int aHow, const sigset_t* aSet, sigset_t* aOld) noexcept;

// How many intercepted calls may have changed a disposition or a mask so far.
extern std::atomic<unsigned> Changes;

// From BeginRecording to EndRecording, the first change of a signal's
// disposition records the one it had; EndRecording puts back each one.
void BeginRecording();
void EndRecording();

// While the calling thread watches its mask, the first change of it records
// the mask it had. Stopping puts that mask back.
void WatchThreadMask();
void StopWatchingThreadMask();
// Sets the calling thread's mask to the one recorded, if a change was, with
// the signals of aUnblocked unblocked.
void RestoreThreadMask(const sigset_t& aUnblocked);

} // namespace Kalvoro::SignalRepair
