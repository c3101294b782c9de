// A run host's listing of a module: it loads the file a runner names, keeps
// it for the plans that follow and answers what it registered, or why it
// could not be loaded.
#pragma once

#include "HostListing.h"
#include "LoadedModules.h"
#include "RunnerChannel.h"

namespace Kalvoro {

// Answers aRequest with a Listing frame (not yet flushed). aRelease: let go
// of the module once it is listed (THostListRequest::Release). False when
// the module's start-up or its release crashed or exited, or its start-up
// left a thread, a child or an alarm behind: the host is not fit to go on.
bool ListModule(TRunnerChannel& aChannel, TLoadedModules& aModules,
                const THostListRequest& aRequest, bool aRelease);

} // namespace Kalvoro
