#include "ProgramSettings.h"

namespace Kalvoro {

namespace {

std::string Section(const std::string& aModulePath) {
  return "Program " + aModulePath;
}

std::vector<std::string> ReadList(const TIniFile& aIni, const std::string& aSection,
                                  const std::string& aName) {
  std::vector<std::string> Values;
  const std::int32_t Count = aIni.ReadInteger(aSection, aName + "Count", 0);
  for (std::int32_t Index = 0; Index < Count; ++Index)
    if (const auto Value = aIni.Find(aSection, aName + std::to_string(Index)))
      Values.emplace_back(*Value);
  return Values;
}

void WriteList(TIniFile& aIni, const std::string& aSection, const std::string& aName,
               const std::vector<std::string>& aValues) {
  if (aValues.empty())
    return;
  aIni.WriteInteger(aSection, aName + "Count", static_cast<std::int32_t>(aValues.size()));
  for (std::size_t Index = 0; Index < aValues.size(); ++Index)
    aIni.WriteString(aSection, aName + std::to_string(Index), aValues[Index]);
}

} // namespace

TProgramSettings ReadProgramSettings(const TIniFile& aIni, const std::string& aModulePath) {
  const std::string Name = Section(aModulePath);
  TProgramSettings Settings;
  Settings.Arguments = ReadList(aIni, Name, "Argument");
  Settings.Environment = ReadList(aIni, Name, "Environment");
  Settings.Directory = aIni.ReadString(Name, "Directory", "");
  return Settings;
}

void WriteProgramSettings(TIniFile& aIni, const std::string& aModulePath,
                          const TProgramSettings& aSettings) {
  const std::string Name = Section(aModulePath);
  WriteList(aIni, Name, "Argument", aSettings.Arguments);
  WriteList(aIni, Name, "Environment", aSettings.Environment);
  if (!aSettings.Directory.empty())
    aIni.WriteString(Name, "Directory", aSettings.Directory);
}

const std::string* SettingWithLineBreak(const TProgramSettings& aSettings) {
  auto Broken = [](const std::string& aText) {
    return aText.find_first_of("\r\n") != std::string::npos;
  };
  for (const auto* List : {&aSettings.Arguments, &aSettings.Environment})
    for (const std::string& Value : *List)
      if (Broken(Value))
        return &Value;
  return Broken(aSettings.Directory) ? &aSettings.Directory : nullptr;
}

std::vector<std::string> SplitCommandLine(const std::string& aText) {
  std::vector<std::string> Words;
  std::string Word;
  bool InWord = false;
  char Quote = 0;
  for (std::size_t I = 0; I < aText.size(); ++I) {
    const char C = aText[I];
    if (Quote != 0) {
      if (C == Quote)
        Quote = 0;
      else if (C == '\\' && Quote == '"' && I + 1 < aText.size())
        Word += aText[++I];
      else
        Word += C;
    } else if (C == '\'' || C == '"') {
      Quote = C;
      InWord = true;
    } else if (C == '\\' && I + 1 < aText.size()) {
      Word += aText[++I];
      InWord = true;
    } else if (C == ' ' || C == '\t') {
      if (InWord)
        Words.push_back(std::move(Word));
      Word.clear();
      InWord = false;
    } else {
      Word += C;
      InWord = true;
    }
  }
  if (InWord)
    Words.push_back(std::move(Word));
  return Words;
}

std::string JoinCommandLine(const std::vector<std::string>& aWords) {
  std::string Text;
  for (const std::string& Word : aWords) {
    if (!Text.empty())
      Text += ' ';
    if (!Word.empty() && Word.find_first_of(" \t'\"\\") == std::string::npos) {
      Text += Word;
      continue;
    }
    Text += '\'';
    for (const char C : Word)
      Text += C == '\'' ? std::string("'\\''") : std::string(1, C);
    Text += '\'';
  }
  return Text;
}

} // namespace Kalvoro
