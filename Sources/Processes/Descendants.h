// The processes that tests start. A host takes in every process orphaned
// under it (PR_SET_CHILD_SUBREAPER): a test's child stays its child, and a
// grandchild whose parent ended (a double fork) becomes one, whatever group
// or session they moved to. So the host can end them all before it serves
// another plan or ends. The console runner does the same one level up: what
// a host that died at once (the exit_group system call) left comes to it,
// and it ends that before it exits. Morvane does not: it would adopt the
// programs it starts for the user.
#pragma once

#include <string>

namespace Kalvoro {

// Makes this process the one that the orphans under it are handed to.
void AdoptOrphans();
// Whether it is (the console runner is, Morvane is not).
bool AdoptsOrphans();
// Whether what tests left behind keeps this process from serving another
// plan: a thread still running, a child process not yet reaped, or an alarm
// still to go off (the framework's own limits use another timer).
bool LeftSomethingBehind();

// Kills and reaps every child of this process, and the orphans that their
// ends hand over, until none is left. Allocates nothing.
void EndDescendants();

// The variable ("NAME=VALUE") that a host and every process its tests start
// inherit, unique to that host, so that what it left can be found after it
// ended, wherever the processes moved (a runner that may not adopt orphans,
// as Morvane, finds them so).
std::string HostMarkVariable();
// Kills every process of this user whose environment holds aVariable, as
// they are found, a few rounds over (a process found may fork meanwhile).
void EndProcessesMarked(const std::string& aVariable);

} // namespace Kalvoro
