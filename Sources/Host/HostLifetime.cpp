#include "HostLifetime.h"

#include "Descendants.h"
#include "Sanitizer.h"

#include "CrashGuard.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace Kalvoro {

namespace {

// Set in a child that a test forked.
volatile bool ForkedChild = false;

void MarkForkedChild() {
  ForkedChild = true;
}

} // namespace

TLeakCheck ForgetPreload() {
  const char* Ours = std::getenv(PreloadedVariable);
  if (Ours == nullptr)
    return nullptr;
  const std::string Prefix = Ours;
  const char* Preload = std::getenv("LD_PRELOAD");
  std::string Rest = Preload != nullptr ? Preload : "";
  if (Rest.rfind(Prefix, 0) == 0)
    Rest.erase(0, Rest.size() > Prefix.size() ? Prefix.size() + 1 : Prefix.size());
  if (Rest.empty())
    unsetenv("LD_PRELOAD");
  else
    setenv("LD_PRELOAD", Rest.c_str(), 1);
  unsetenv(PreloadedVariable);
  return reinterpret_cast<TLeakCheck>(dlsym(RTLD_DEFAULT, "__lsan_do_recoverable_leak_check"));
}

void WatchForks() {
  pthread_atfork(nullptr, nullptr, &MarkForkedChild);
}

void EndIfForked() {
  if (ForkedChild)
    EndProcessNow(0);
}

int SecureDescriptors(int aSocket, int aRing) {
  int Moved = fcntl(aSocket, F_DUPFD_CLOEXEC, 100);
  if (Moved < 0)
    return aSocket;
  close(aSocket);
  const int Low = std::min(Moved, aRing);
  const int High = std::max(Moved, aRing);
  if (Low > 3)
    close_range(3, static_cast<unsigned>(Low) - 1, 0);
  if (High > Low + 1)
    close_range(static_cast<unsigned>(Low) + 1, static_cast<unsigned>(High) - 1, 0);
  close_range(static_cast<unsigned>(High) + 1, ~0U, 0);
  return Moved;
}

void Leave(int aCode) {
  std::fflush(nullptr);
  EndDescendants();
  EndProcessNow(aCode);
}

void End(TRunnerChannel& aChannel) {
  std::fflush(nullptr);
  EndDescendants();
  aChannel.Flush();
  EndProcessNow(0);
}

} // namespace Kalvoro
