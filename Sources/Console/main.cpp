// kalvoro: the console runner.
#include "ConsoleRunner.h"

int main(int argc, char** argv) {
  return Kalvoro::RunnerProgram(argc, argv);
}
