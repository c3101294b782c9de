// The crash guard's alternate signal stack, one per thread: a stack overflow's
// SIGSEGV needs a stack of its own for its handler to run at all.
#pragma once

namespace Kalvoro {

// Gives the calling thread the guard's alternate signal stack unless it has
// one at least as large already; kept for the thread's life, and the stack it
// had before is put back when the thread ends.
void EnsureAltStack();

} // namespace Kalvoro
