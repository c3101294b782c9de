// kalvoro-host: the process that runs tests for a runner (--run), and the
// one that tries a module's start-up and shut-down before a program loads it
// (--trial). Not started by hand.
#include "HostRun.h"
#include "Trial.h"

#include <cstring>

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--trial") == 0)
    return Kalvoro::TrialMain(argc, argv);
  return Kalvoro::HostMain(argc, argv);
}
