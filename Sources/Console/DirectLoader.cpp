#include "DirectLoader.h"

#include "CrashGuard.h"
#include "ModuleTrial.h"
#include "Sanitizer.h"
#include "UnitTestBase.h"
#include "WriteAll.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace Kalvoro {

namespace {

constexpr int Fatal[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Prepared before the load: the handler only writes.
std::string Before;
std::string After = "; runs in hosts go on past such a module\n";
volatile sig_atomic_t Loading = 0;

void Write(const char* aText, std::size_t aSize) {
  (void)WriteAll(STDERR_FILENO, aText, aSize);
}

[[noreturn]] void EndLoad(const char* aCause) {
  Write(Before.data(), Before.size());
  Write(aCause, std::strlen(aCause));
  Write(After.data(), After.size());
  EndProcessNow(2);
}

void OnFatalSignal(int aSignal) {
  switch (aSignal) {
  case SIGSEGV:
    EndLoad("crashed with SIGSEGV");
  case SIGBUS:
    EndLoad("crashed with SIGBUS");
  case SIGFPE:
    EndLoad("crashed with SIGFPE");
  case SIGILL:
    EndLoad("crashed with SIGILL");
  default:
    EndLoad("aborted (SIGABRT)");
  }
}

// An exit from a start-up runs the exit handlers: while a module loads, the
// program ends as after a crash.
void OnExit() {
  if (Loading)
    EndLoad("called exit");
}

} // namespace

TDirectLoader::TDirectLoader() : FTrialsBefore(LoadTrialsEnabled()) {
  SetLoadTrialsEnabled(false);
}

TDirectLoader::~TDirectLoader() {
  SetLoadTrialsEnabled(FTrialsBefore);
}

void TDirectLoader::List(TModule& aModule) {
  static const bool Registered = std::atexit(&OnExit) == 0;
  (void)Registered;
  // A module built with a sanitizer whose runtime this process lacks would
  // not load here (or would crash): it is refused as a start-up that fails.
  const std::string Refusal = InProcessRefusal(aModule.LoadPath());
  if (!Refusal.empty()) {
    const std::string Text =
        "kalvoro: The module \"" + aModule.FullFileName() + "\" is " + Refusal + "\n";
    Write(Text.data(), Text.size());
    EndProcessNow(2);
  }
  Before = "kalvoro: The module \"" + aModule.FullFileName() + "\" ";
  struct sigaction Action {};
  Action.sa_handler = &OnFatalSignal;
  sigemptyset(&Action.sa_mask);
  struct sigaction Old[std::size(Fatal)];
  for (std::size_t I = 0; I < std::size(Fatal); ++I)
    sigaction(Fatal[I], &Action, &Old[I]);
  Loading = 1;
  auto Restore = [&] {
    Loading = 0;
    for (std::size_t I = 0; I < std::size(Fatal); ++I)
      sigaction(Fatal[I], &Old[I], nullptr);
  };
  try {
    const TModuleListerScope Here(nullptr);
    aModule.LoadModule();
  } catch (...) {
    Restore();
    throw;
  }
  Restore();
}

} // namespace Kalvoro
