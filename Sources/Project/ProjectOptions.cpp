// The run options' section of the project file: read tolerantly, written
// only where a value differs from its default.
#include "ProjectOptions.h"

#include "IniFile.h"
#include "ProjectText.h"

namespace Kalvoro {

namespace {

constexpr std::string_view KeyHosts = "Hosts";
constexpr std::string_view KeyTimeLimit = "TimeLimit";
constexpr std::string_view KeyJobs = "Jobs";
constexpr std::string_view KeySerial = "Serial";

} // namespace

// The texts of a defect name the defaults that TProjectOptions gives.
bool ReadProjectOptions(const TIniFile& aIni, TProjectOptions& aOptions, std::string& aReport) {
  std::string Defects;
  auto Defect = [&](std::string_view aKey, std::string_view aValue, std::string_view aWhy) {
    Defects += "* ";
    Defects += aKey;
    Defects += "=" + Quoted(aValue) + " ";
    Defects += aWhy;
    Defects += ".\r";
  };
  if (const auto Value = aIni.Find(SectionOptions, KeyHosts)) {
    const auto Number = ParseInteger(*Value);
    if (Number && (*Number == 0 || *Number == 1))
      aOptions.Hosts = *Number == 1;
    else
      Defect(KeyHosts, *Value, "is neither 1 nor 0; the tests run in hosts");
  }
  if (const auto Value = aIni.Find(SectionOptions, KeyTimeLimit)) {
    const auto Number = ParseInteger(*Value);
    if (Number && *Number >= 0)
      aOptions.TimeLimit = *Number;
    else
      Defect(KeyTimeLimit, *Value, "is no whole number of seconds from 0; no time limit is set");
  }
  if (const auto Value = aIni.Find(SectionOptions, KeyJobs)) {
    const auto Number = ParseInteger(*Value);
    if (Number && *Number >= 1 && *Number <= MaxJobs)
      aOptions.Jobs = static_cast<int>(*Number);
    else
      Defect(KeyJobs, *Value,
             "is no whole number from 1 to " + std::to_string(MaxJobs) +
                 "; tests run one at a time");
  }
  if (const auto Value = aIni.Find(SectionOptions, KeySerial))
    aOptions.Serial = *Value;
  if (Defects.empty())
    return true;
  aReport += "The following error occurred when reading the section [" +
             std::string(SectionOptions) + "]:\r" + Defects;
  return false;
}

void WriteProjectOptions(TIniFile& aIni, const TProjectOptions& aOptions) {
  const TProjectOptions Defaults;
  if (aOptions.Hosts != Defaults.Hosts)
    aIni.WriteBool(SectionOptions, KeyHosts, aOptions.Hosts);
  if (aOptions.TimeLimit != Defaults.TimeLimit)
    aIni.WriteInteger(SectionOptions, KeyTimeLimit, aOptions.TimeLimit);
  if (aOptions.Jobs != Defaults.Jobs)
    aIni.WriteInteger(SectionOptions, KeyJobs, aOptions.Jobs);
  if (aOptions.Serial != Defaults.Serial)
    aIni.WriteString(SectionOptions, KeySerial, aOptions.Serial);
}

} // namespace Kalvoro
