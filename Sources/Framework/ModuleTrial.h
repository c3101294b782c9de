// Trials of a module's start-up and shut-down in a short-lived child process.
//
// A library's static constructors run inside dlopen, and its static
// destructors inside dlclose, with the dynamic loader's lock taken. A crash
// there cannot be jumped out of safely: the lock stays taken and the loader's
// lists stay half-updated, so the next dlopen in another thread hangs. So the
// step is first taken in a forked copy of the process; only when the copy
// comes through it does the program take the step itself.
#pragma once

#include <string>

namespace Kalvoro {

// dlopen(aPath, aFlags) in a child process. Returns what ended the child if
// it did not come through ("Access violation (SIGSEGV)", ...), else empty
// (the library loaded, or the loader refused it: the caller's own dlopen
// then tells why).
std::string TryStartUp(const std::string& aPath, int aFlags);

// dlclose(aHandle) in a child process, as TryStartUp.
std::string TryShutDown(void* aHandle);

} // namespace Kalvoro
