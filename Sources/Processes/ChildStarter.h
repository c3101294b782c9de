// The one thread of the process that starts child processes. A child's
// parent is the thread that started it, not the process: the parent-death
// signal that a run host asks for (PR_SET_PDEATHSIG) fires when that thread
// ends, and only the thread that started a child can let it go from a
// ptrace stop. Morvane lists modules and runs them on worker threads that
// come and go while the hosts they started live on, so every child is
// started here, on a thread that lives as long as the program.
#pragma once

#include <functional>

namespace Kalvoro {

// Runs aCall on the starter thread (started at the first call, with every
// signal blocked) and waits for it; an error it raises goes on to the
// caller. Called on the starter thread itself, it runs aCall at once.
void OnStarterThread(const std::function<void()>& aCall);

} // namespace Kalvoro
