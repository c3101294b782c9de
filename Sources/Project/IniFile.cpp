#include "IniFile.h"

#include "IniNames.h"

#include "Exception.h"
#include "WriteAll.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace Kalvoro {

using namespace IniNames;

namespace {

bool IsBlank(char aChar) {
  return aChar == ' ' || aChar == '\t';
}

std::string_view TrimBlanks(std::string_view aText) {
  while (!aText.empty() && IsBlank(aText.front()))
    aText.remove_prefix(1);
  while (!aText.empty() && IsBlank(aText.back()))
    aText.remove_suffix(1);
  return aText;
}

struct TEntry {
  std::string Name;
  std::string Value;
  std::size_t NextSameFold = NoIndex;
};

// A section's entries are made with its first entry: an empty section holds
// only its name.
struct TSection {
  std::string Name;
  std::unique_ptr<TNameIndex<TEntry>> Entries;
  std::size_t NextSameFold = NoIndex;

  const TEntry* Find(std::string_view aKey) const {
    return Entries ? Entries->Find(aKey) : nullptr;
  }
  TEntry* FindExact(std::string_view aKey) { return Entries ? Entries->FindExact(aKey) : nullptr; }
  TEntry& Append(std::string_view aKey) {
    if (!Entries)
      Entries = std::make_unique<TNameIndex<TEntry>>();
    return Entries->Append(aKey);
  }
};

// "Unable to write to PATH: reason", as report files say it.
[[noreturn]] void ThrowUnableToWrite(const std::string& aFileName, int aError) {
  throw Exception("Unable to write to " + aFileName + ": " + std::strerror(aError));
}

} // namespace

struct TIniFile::TData {
  TNameIndex<TSection> Sections;
};

TIniFile::TIniFile(std::string aFileName)
    : FFileName(std::move(aFileName)), FData(std::make_unique<TData>()) {}

TIniFile::~TIniFile() = default;
TIniFile::TIniFile(TIniFile&&) noexcept = default;
TIniFile& TIniFile::operator=(TIniFile&&) noexcept = default;

TIniFile TIniFile::Load(std::string aFileName) {
  std::string Content;
  // Not blocking: a named pipe in place of the file must not hang the reader.
  const int Handle = ::open(aFileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (Handle >= 0) {
    struct stat Status {};
    if (::fstat(Handle, &Status) == 0 && S_ISREG(Status.st_mode)) {
      Content.reserve(static_cast<std::size_t>(Status.st_size));
      char Buffer[65536];
      for (;;) {
        const ssize_t Count = ::read(Handle, Buffer, sizeof Buffer);
        if (Count < 0 && errno == EINTR)
          continue;
        if (Count <= 0)
          break;
        Content.append(Buffer, static_cast<std::size_t>(Count));
      }
    }
    ::close(Handle);
  }
  return Parse(std::move(aFileName), Content);
}

TIniFile TIniFile::Parse(std::string aFileName, std::string_view aText) {
  TIniFile Result(std::move(aFileName));
  if (aText.starts_with("\xEF\xBB\xBF"))
    aText.remove_prefix(3);
  TSection* Section = nullptr;
  while (!aText.empty()) {
    // CR LF, LF and a lone CR all end a line; the empty line between CR and
    // LF is skipped like any blank line.
    const std::size_t End = aText.find_first_of("\r\n");
    const std::string_view Line = aText.substr(0, End);
    aText.remove_prefix(End == std::string_view::npos ? aText.size() : End + 1);

    std::string_view Start = Line;
    while (!Start.empty() && IsBlank(Start.front()))
      Start.remove_prefix(1);
    if (Start.empty())
      continue;
    if (Start.front() == '[') {
      Start.remove_prefix(1);
      const std::size_t Close = Start.rfind(']');
      const std::string_view Name = Start.substr(0, Close);
      Section = Result.FData->Sections.FindExact(Name);
      if (Section == nullptr)
        Section = &Result.FData->Sections.Append(Name);
      continue;
    }
    const std::size_t Equal = Start.find('=');
    if (Section == nullptr || Equal == std::string_view::npos)
      continue;
    const std::string_view Key = TrimBlanks(Start.substr(0, Equal));
    if (Section->FindExact(Key) != nullptr)
      continue;
    Section->Append(Key).Value = std::string(Start.substr(Equal + 1));
  }
  return Result;
}

bool TIniFile::SectionExists(std::string_view aSection) const {
  return FData->Sections.Find(aSection) != nullptr;
}

bool TIniFile::ValueExists(std::string_view aSection, std::string_view aKey) const {
  return Find(aSection, aKey).has_value();
}

std::optional<std::string_view> TIniFile::Find(std::string_view aSection,
                                               std::string_view aKey) const {
  const TSection* Section = FData->Sections.Find(aSection);
  if (Section == nullptr)
    return std::nullopt;
  const TEntry* Entry = Section->Find(aKey);
  if (Entry == nullptr)
    return std::nullopt;
  return std::string_view(Entry->Value);
}

std::string TIniFile::ReadString(std::string_view aSection, std::string_view aKey,
                                 std::string_view aDefault) const {
  return std::string(Find(aSection, aKey).value_or(aDefault));
}

std::int32_t TIniFile::ReadInteger(std::string_view aSection, std::string_view aKey,
                                   std::int32_t aDefault) const {
  const auto Value = Find(aSection, aKey);
  if (!Value)
    return aDefault;
  return ParseInteger(*Value).value_or(aDefault);
}

bool TIniFile::ReadBool(std::string_view aSection, std::string_view aKey, bool aDefault) const {
  return ReadInteger(aSection, aKey, aDefault ? 1 : 0) != 0;
}

void TIniFile::WriteString(std::string_view aSection, std::string_view aKey,
                           std::string_view aValue) {
  if (HasLineBreak(aSection))
    throw Exception("Unable to write to " + FFileName + "\rThe section name \"" +
                    std::string(aSection) + "\" contains a line break");
  if (aKey.empty() || HasLineBreak(aKey) || aKey.find('=') != std::string_view::npos ||
      aKey.front() == '[' || TrimBlanks(aKey).size() != aKey.size())
    throw Exception("Unable to write to " + FFileName + "\rThe key \"" + std::string(aKey) +
                    "\" cannot be stored");
  if (HasLineBreak(aValue))
    throw Exception("Unable to write to " + FFileName + "\rThe value of \"" + std::string(aKey) +
                    "\" in section \"" + std::string(aSection) + "\" contains a line break");
  TSection* Section = FData->Sections.FindExact(aSection);
  if (Section == nullptr)
    Section = &FData->Sections.Append(aSection);
  TEntry* Entry = Section->FindExact(aKey);
  if (Entry == nullptr)
    Entry = &Section->Append(aKey);
  Entry->Value = std::string(aValue);
}

void TIniFile::WriteInteger(std::string_view aSection, std::string_view aKey, std::int32_t aValue) {
  WriteString(aSection, aKey, std::to_string(aValue));
}

void TIniFile::WriteBool(std::string_view aSection, std::string_view aKey, bool aValue) {
  WriteString(aSection, aKey, aValue ? "1" : "0");
}

std::string TIniFile::Text() const {
  std::size_t Size = 0;
  for (const TSection& Section : FData->Sections.Items()) {
    Size += Section.Name.size() + 4;
    if (Section.Entries)
      for (const TEntry& Entry : Section.Entries->Items())
        Size += Entry.Name.size() + Entry.Value.size() + 3;
  }
  std::string Result;
  Result.reserve(Size);
  for (const TSection& Section : FData->Sections.Items()) {
    Result += '[';
    Result += Section.Name;
    Result += "]\r\n";
    if (!Section.Entries)
      continue;
    for (const TEntry& Entry : Section.Entries->Items()) {
      Result += Entry.Name;
      Result += '=';
      Result += Entry.Value;
      Result += "\r\n";
    }
  }
  return Result;
}

void TIniFile::UpdateFile() const {
  // Write through a symbolic link to its target rather than replacing the link.
  std::string Target = FFileName;
  struct stat Status {};
  if (::lstat(Target.c_str(), &Status) == 0 && S_ISLNK(Status.st_mode)) {
    char* Resolved = ::realpath(Target.c_str(), nullptr);
    if (Resolved != nullptr) {
      Target = Resolved;
      std::free(Resolved);
    }
  }
  const std::size_t Slash = Target.rfind('/');
  const std::string Folder =
      Slash == std::string::npos ? std::string() : Target.substr(0, Slash + 1);
  const std::string Name = Slash == std::string::npos ? Target : Target.substr(Slash + 1);
  std::string Temporary = Folder + "." + Name + ".XXXXXX";
  const int Handle = ::mkostemp(Temporary.data(), O_CLOEXEC);
  if (Handle < 0)
    ThrowUnableToWrite(FFileName, errno);

  // A replaced file keeps its permissions; a new one gets the usual ones.
  mode_t Mode = 0;
  if (::stat(Target.c_str(), &Status) == 0) {
    Mode = Status.st_mode & 07777;
  } else {
    const mode_t Mask = ::umask(0);
    ::umask(Mask);
    Mode = 0666 & ~Mask;
  }

  const std::string Content = Text();
  // The first failing step's reason is the one told.
  int Error = 0;
  const auto Step = [&Error](bool aDone) {
    if (!aDone && Error == 0)
      Error = errno != 0 ? errno : EIO;
    return aDone;
  };
  bool Written = Step(::fchmod(Handle, Mode) == 0);
  Written = Written && Step(WriteAll(Handle, Content.data(), Content.size()));
  Written = Written && Step(::fsync(Handle) == 0);
  Written = Step(::close(Handle) == 0) && Written;
  Written = Written && Step(::rename(Temporary.c_str(), Target.c_str()) == 0);
  if (!Written) {
    ::unlink(Temporary.c_str());
    ThrowUnableToWrite(FFileName, Error);
  }
}

bool HasLineBreak(std::string_view aText) {
  return aText.find_first_of("\r\n") != std::string_view::npos;
}

std::optional<std::int32_t> ParseInteger(std::string_view aText) {
  while (!aText.empty() && IsBlank(aText.front()))
    aText.remove_prefix(1);
  if (aText.empty())
    return std::nullopt;

  std::string_view Digits;
  bool Hexadecimal = true;
  if (aText.front() == '$')
    Digits = aText.substr(1);
  else if (aText.size() >= 2 && aText[0] == '0' && FoldChar(aText[1]) == 'x')
    Digits = aText.substr(2);
  else if (FoldChar(aText.front()) == 'x')
    Digits = aText.substr(1);
  else
    Hexadecimal = false;

  if (Hexadecimal) {
    if (Digits.empty())
      return std::nullopt;
    std::uint32_t Value = 0;
    for (const char Char : Digits) {
      const char Folded = FoldChar(Char);
      std::uint32_t Digit = 0;
      if (Folded >= '0' && Folded <= '9')
        Digit = static_cast<std::uint32_t>(Folded - '0');
      else if (Folded >= 'a' && Folded <= 'f')
        Digit = static_cast<std::uint32_t>(Folded - 'a' + 10);
      else
        return std::nullopt;
      if (Value > 0x0FFFFFFFu)
        return std::nullopt;
      Value = Value * 16 + Digit;
    }
    return static_cast<std::int32_t>(Value);
  }

  bool Negative = false;
  if (aText.front() == '+' || aText.front() == '-') {
    Negative = aText.front() == '-';
    aText.remove_prefix(1);
  }
  if (aText.empty())
    return std::nullopt;
  const std::int64_t Limit = Negative ? -static_cast<std::int64_t>(INT32_MIN) : INT32_MAX;
  std::int64_t Value = 0;
  for (const char Char : aText) {
    if (Char < '0' || Char > '9')
      return std::nullopt;
    Value = Value * 10 + (Char - '0');
    if (Value > Limit)
      return std::nullopt;
  }
  return static_cast<std::int32_t>(Negative ? -Value : Value);
}

} // namespace Kalvoro
