// The framework of a test program whose bytes match several (a doctest
// program that uses GoogleTest's matchers), asked of the program with the
// one option all three frameworks answer without running tests: "--help",
// in a scratch folder, under a time limit, with GoogleTest's filter set to
// exclude every test for a main that ignores its options. The answer is
// kept for as long as the file stays the same.
#pragma once

#include "ProgramBytes.h"

#include <string>

namespace Kalvoro {

TForeignFramework ProbedFramework(const std::string& aPath);

// The framework that a program's help text names; None when it names none.
TForeignFramework FrameworkOfHelp(const std::string& aHelp);

} // namespace Kalvoro
