// Keeps the program able to learn how its children ended. While SIGCHLD is
// ignored (or set with SA_NOCLDWAIT), the kernel reaps every child as it
// ends and its status is lost: a module's start-up or a test that set that
// in the program would make every run host's death read as a clean exit.
// While a TChildProcess lives, SIGCHLD keeps its default action; the
// disposition that was there is put back when the last one ends, unless
// something set another one meanwhile.
#pragma once

namespace Kalvoro::ChildWatch {

// A child is about to start: SIGCHLD gets its default action if it is
// ignored, for as long as a child lives.
void Begin();
// Puts SIGCHLD back to its default action if it has been ignored since
// (called before each look at a child).
void Keep();
// A child object is gone; the last one puts back what Begin replaced.
void End();

} // namespace Kalvoro::ChildWatch
