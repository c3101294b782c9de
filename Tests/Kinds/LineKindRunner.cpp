// kalvoro-linekind: the console runner with the tests' line kind registered,
// and nothing else of its own.
#include "ConsoleRunner.h"
#include "LineKind.h"

int main(int argc, char** argv) {
  const KalvoroTest::TLineKindScope Kind;
  return Kalvoro::RunnerProgram(argc, argv);
}
