// The processes that tests start. A host takes in every process orphaned
// under it (PR_SET_CHILD_SUBREAPER): a test's child stays its child, and a
// grandchild whose parent ended (a double fork) becomes one, whatever group
// or session they moved to. So the host can end them all before it serves
// another plan or ends. The console runner does the same one level up: what
// a host that died at once (the exit_group system call) left comes to it,
// and it ends that before it exits. Morvane does not: it would adopt the
// programs it starts for the user.
#pragma once

namespace Kalvoro {

// Makes this process the one that the orphans under it are handed to.
void AdoptOrphans();
// Kills and reaps every child of this process, and the orphans that their
// ends hand over, until none is left. Allocates nothing.
void EndDescendants();

} // namespace Kalvoro
