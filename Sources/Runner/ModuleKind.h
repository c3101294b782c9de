// What kind of test code a module file holds, read from its bytes each time
// it is listed and never saved: a Kalvoro module (a shared library that the
// run hosts load), or a test program (an executable: it has an interpreter,
// PT_INTERP), which no kind lists yet. Nothing is run to find out.
#pragma once

#include <string>
#include <string_view>

namespace Kalvoro {

enum class TModuleKind { KalvoroModule, TestProgram };

// The kind of the file at aPath; a file that cannot be read or is no ELF
// file counts as a Kalvoro module (its load then says what is wrong).
TModuleKind ModuleKindOf(const std::string& aPath);

// Why a test program that no kind lists is refused (it is never run).
inline constexpr const char* TestProgramRefusal =
    "The file is a test program (an executable), not a Kalvoro module (a shared library): it "
    "cannot be loaded";

// As the programs show it: "Kalvoro module", "test program".
std::string_view ModuleKindText(TModuleKind aKind);

} // namespace Kalvoro
