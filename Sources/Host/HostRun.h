// The run host's side: "kalvoro-host --run FD PARENT" reads one plan from
// descriptor FD, loads the module it names, runs the plan's methods with the
// in-process guards, and sends every run message and every method's result
// back over FD. It ends itself (with _exit, so that nothing of the test runs
// at its end) when the plan is done, when a stop arrives, or after a method
// in which a crash was caught: a process that crashed is not trusted again.
#pragma once

namespace Kalvoro {

int HostMain(int argc, char** argv);

} // namespace Kalvoro
