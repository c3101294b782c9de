// A test program's settings in the project file: a section of its own per
// module ("Program PATH"), written only where a module has settings, so that
// a project of Kalvoro modules reads as before. Arguments and environment
// entries go one a key, counted.
#pragma once

#include "IniFile.h"
#include "UnitTestBase.h"

#include <string>

namespace Kalvoro {

TProgramSettings ReadProgramSettings(const TIniFile& aIni, const std::string& aModulePath);
void WriteProgramSettings(TIniFile& aIni, const std::string& aModulePath,
                          const TProgramSettings& aSettings);
// The first setting that holds a line break (the file keeps one a line), or
// null.
const std::string* SettingWithLineBreak(const TProgramSettings& aSettings);

// Splits a command line as a shell would, without running one: words apart
// by blanks, '...' and "..." keep blanks, a backslash takes the next
// character as it is. Used for what a user types as arguments or
// environment.
std::vector<std::string> SplitCommandLine(const std::string& aText);
// Joins words back so that SplitCommandLine gives them again.
std::string JoinCommandLine(const std::vector<std::string>& aWords);

} // namespace Kalvoro
