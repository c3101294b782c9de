// SIGCHLD kept at its default action while children live (see ChildWatch.h).
#include "ChildWatch.h"

#include "SignalRepair.h"

#include <signal.h>

#include <mutex>

namespace Kalvoro::ChildWatch {

namespace {

std::mutex Lock;
int Children = 0;
bool Replaced = false;      // Begin or Keep put the default action in place
struct sigaction Before {}; // what was there then

bool Ignored(const struct sigaction& aAction) {
  return aAction.sa_handler == SIG_IGN || (aAction.sa_flags & SA_NOCLDWAIT) != 0;
}

// Puts the default action in place of an ignoring one; called under Lock.
void Unignore() {
  struct sigaction Now {};
  if (SignalRepair::Sigaction(SIGCHLD, nullptr, &Now) != 0 || !Ignored(Now))
    return;
  struct sigaction Default {};
  Default.sa_handler = SIG_DFL;
  sigemptyset(&Default.sa_mask);
  if (SignalRepair::Sigaction(SIGCHLD, &Default, nullptr) != 0)
    return;
  // Keep: the latest ignoring disposition is the one to put back.
  Before = Now;
  Replaced = true;
}

} // namespace

void Begin() {
  const std::lock_guard<std::mutex> Guard(Lock);
  ++Children;
  Unignore();
}

void Keep() {
  const std::lock_guard<std::mutex> Guard(Lock);
  if (Children > 0)
    Unignore();
}

void End() {
  const std::lock_guard<std::mutex> Guard(Lock);
  if (Children == 0 || --Children > 0 || !Replaced)
    return;
  Replaced = false;
  // Only the default action that was put in place is replaced: a handler
  // that the program set since stays.
  struct sigaction Now {};
  if (SignalRepair::Sigaction(SIGCHLD, nullptr, &Now) == 0 && Now.sa_handler == SIG_DFL &&
      (Now.sa_flags & SA_NOCLDWAIT) == 0)
    SignalRepair::Sigaction(SIGCHLD, &Before, nullptr);
}

} // namespace Kalvoro::ChildWatch
