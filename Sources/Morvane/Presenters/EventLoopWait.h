// The wait of the run hosts inside the program's event loop: while a host
// works, the progress window repaints and its Stop button answers, and no
// thread but the user-interface thread touches anything.
#pragma once

#include <vector>

namespace Kalvoro {

// Runs a nested event loop until one of aDescriptors is readable (a socket
// notifier each) or aMilliseconds have passed (< 0: no limit; 0: only the
// events already pending are handled). Events of every window are handled
// meanwhile; modality keeps input to the window on top. Fits THostRunner's
// wait hook.
void EventLoopWait(const std::vector<int>& aDescriptors, int aMilliseconds);

// The same without the user's input (clicks and keys wait until it
// returns): the wait of a listing, which runs inside a command, so that
// windows repaint but no other command starts meanwhile.
void ListingWait(const std::vector<int>& aDescriptors, int aMilliseconds);

} // namespace Kalvoro
