// The run options' section of the project file. Used by ProjectFile.cpp only.
#pragma once

#include "Project.h"

#include <string>
#include <string_view>

namespace Kalvoro {

class TIniFile;

// The section of the run options. A module's assignment section is named
// after its path, whose keys ("Assign0", ...) never meet the options' keys,
// so even a module at the path "Kalvoro/Options" shares the section safely.
inline constexpr std::string_view SectionOptions = "Kalvoro/Options";

// Reads the options that the file holds into aOptions. A value that is not
// one the option can take leaves the option at its default and appends a
// line to aReport (after one header line); returns false then.
bool ReadProjectOptions(const TIniFile& aIni, TProjectOptions& aOptions, std::string& aReport);

// Writes each option whose value differs from its default, and nothing else.
void WriteProjectOptions(TIniFile& aIni, const TProjectOptions& aOptions);

} // namespace Kalvoro
