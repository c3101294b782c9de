// A test program of a kind that only the tests know: it names its tests on
// --list (the marker, then "UNIT METHOD" per line) and runs one on --run UNIT METHOD, telling
// what happened one line each: "report TEXT", "check ok TEXT", "check fail
// FILE:LINE TEXT", "error TEXT". Its kind recognises it by the marker below.
#include <cstdio>
#include <cstring>

// Kept in the file's bytes: the kind reads it, nothing runs the program to
// find out what it is.
extern "C" const char LineProgramMarker[] = "kalvoro-tests-line-program";

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
    std::printf("%s\nTLines Passes\nTLines Fails\nPipe|Unit Runs\n", LineProgramMarker);
    return 0;
  }
  if (argc == 4 && std::strcmp(argv[1], "--run") == 0 && std::strcmp(argv[2], "TLines") == 0) {
    if (std::strcmp(argv[3], "Passes") == 0) {
      std::printf("report started\ncheck ok 1 + 1 == 2\n");
      return 0;
    }
    if (std::strcmp(argv[3], "Fails") == 0) {
      std::printf("check ok 2 > 1\ncheck fail Lines.cpp:12 2 + 2 == 5\nerror gave up\n");
      return 0;
    }
  }
  if (argc == 4 && std::strcmp(argv[1], "--run") == 0 && std::strcmp(argv[2], "Pipe|Unit") == 0 &&
      std::strcmp(argv[3], "Runs") == 0) {
    std::printf("check ok a name may hold a bar\n");
    return 0;
  }
  std::fprintf(stderr, "line program: unknown arguments\n");
  return 2;
}
