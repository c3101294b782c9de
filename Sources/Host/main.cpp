// kalvoro-host: the process that lists and runs tests for a runner. Not
// started by hand.
#include "ServePlans.h"

int main(int argc, char** argv) {
  return Kalvoro::HostMain(argc, argv);
}
