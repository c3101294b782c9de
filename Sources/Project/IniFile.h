// The INI access layer of the project file: sections of key=value entries.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace Kalvoro {

// Reads an INI text once into memory and answers look-ups from there; writes
// collect in memory and UpdateFile replaces the whole file at once.
//
// Section and key names are matched without regard to ASCII letter case; when
// a file holds names that differ only in case, the one spelt exactly as asked
// wins. Values are kept exactly: no trimming, no quote stripping, no length
// limit. Lines end in CR LF, LF or CR; blank lines and lines without "=" are
// skipped; a section header's name runs from its "[" to the last "]" of the
// line. Of two entries with the same key in one section the first counts.
class TIniFile {
public:
  // An empty INI text, bound to aFileName for UpdateFile.
  explicit TIniFile(std::string aFileName);
  ~TIniFile();
  TIniFile(TIniFile&&) noexcept;
  TIniFile& operator=(TIniFile&&) noexcept;

  // Reads the named file; a file that cannot be read gives an empty text.
  static TIniFile Load(std::string aFileName);
  // Parses aText as the content of the file aFileName.
  static TIniFile Parse(std::string aFileName, std::string_view aText);

  const std::string& FileName() const { return FFileName; }

  bool SectionExists(std::string_view aSection) const;
  bool ValueExists(std::string_view aSection, std::string_view aKey) const;
  // The value, or std::nullopt when the key is absent.
  std::optional<std::string_view> Find(std::string_view aSection, std::string_view aKey) const;
  std::string ReadString(std::string_view aSection, std::string_view aKey,
                         std::string_view aDefault) const;
  // Decimal with optional sign, or hexadecimal after "$", "0x" or "x";
  // aDefault when the key is absent or the text is no such 32-bit number.
  std::int32_t ReadInteger(std::string_view aSection, std::string_view aKey,
                           std::int32_t aDefault) const;
  // An integer with the default 1 or 0; true when it is not 0.
  bool ReadBool(std::string_view aSection, std::string_view aKey, bool aDefault) const;

  // Stores the value, creating the section or the key as needed and replacing
  // the value of a key spelt exactly the same. A section name, key or value
  // that cannot be stored in a line (a line break; "=" or a leading "[" or
  // blank in a key; an empty key) raises Exception and stores nothing.
  void WriteString(std::string_view aSection, std::string_view aKey, std::string_view aValue);
  void WriteInteger(std::string_view aSection, std::string_view aKey, std::int32_t aValue);
  void WriteBool(std::string_view aSection, std::string_view aKey, bool aValue);

  // The whole text, lines ended by CR LF, sections and keys in the order they
  // were first written or read.
  std::string Text() const;
  // Replaces the file's content with Text(): writes a temporary file in the
  // same folder and renames it over the file, so that a failure leaves the
  // old content intact. Failure raises Exception("Unable to write to <file>: <reason>").
  void UpdateFile() const;

private:
  struct TData;
  std::string FFileName;
  std::unique_ptr<TData> FData;
};

// True when aText holds a CR or an LF, which no name, key or value of the file
// may hold.
bool HasLineBreak(std::string_view aText);

// Reads a 32-bit integer by the project file's rules: leading blanks skipped;
// decimal with an optional sign, or hexadecimal (no sign) after "$", "0x" or
// "x" in either case, up to 8 digits taken as a 32-bit pattern. std::nullopt
// when the text is empty, holds anything else, or is out of range.
std::optional<std::int32_t> ParseInteger(std::string_view aText);

} // namespace Kalvoro
