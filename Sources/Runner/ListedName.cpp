#include "ListedName.h"

namespace Kalvoro {

namespace {

// The length of the valid UTF-8 sequence at aText[aIndex] (lead byte 0x80 or
// above), or 0 when the bytes there are not one: no overlong forms, no
// surrogates, nothing above U+10FFFF.
std::size_t SequenceLength(std::string_view aText, std::size_t aIndex) {
  const auto Byte = [&](std::size_t aOffset) {
    return static_cast<unsigned char>(aText[aIndex + aOffset]);
  };
  const unsigned char Lead = Byte(0);
  std::size_t Length = 0;
  unsigned char Low = 0x80, High = 0xBF; // the allowed range of the second byte
  if (Lead >= 0xC2 && Lead <= 0xDF) {
    Length = 2;
  } else if (Lead >= 0xE0 && Lead <= 0xEF) {
    Length = 3;
    Low = Lead == 0xE0 ? 0xA0 : Low;
    High = Lead == 0xED ? 0x9F : High;
  } else if (Lead >= 0xF0 && Lead <= 0xF4) {
    Length = 4;
    Low = Lead == 0xF0 ? 0x90 : Low;
    High = Lead == 0xF4 ? 0x8F : High;
  } else {
    return 0;
  }
  if (aIndex + Length > aText.size() || Byte(1) < Low || Byte(1) > High)
    return 0;
  for (std::size_t I = 2; I < Length; ++I)
    if (Byte(I) < 0x80 || Byte(I) > 0xBF)
      return 0;
  return Length;
}

bool IsControl(unsigned char aByte) {
  return aByte < 0x20 || aByte == 0x7f;
}

// A C1 control character (U+0080 to U+009F), two bytes in UTF-8.
bool IsC1(std::string_view aText, std::size_t aIndex, std::size_t aLength) {
  return aLength == 2 && static_cast<unsigned char>(aText[aIndex]) == 0xC2 &&
         static_cast<unsigned char>(aText[aIndex + 1]) <= 0x9F;
}

void AppendEscapedByte(std::string& aResult, unsigned char aByte) {
  static constexpr char Digits[] = "0123456789abcdef";
  aResult += {'\\', 'x', Digits[aByte >> 4], Digits[aByte & 15]};
}

} // namespace

bool ListsAsItIs(std::string_view aName) {
  if (aName.empty() || aName.front() == ' ' || aName.back() == ' ' || aName.front() == '"')
    return false;
  for (std::size_t I = 0; I < aName.size();) {
    const auto C = static_cast<unsigned char>(aName[I]);
    if (C < 0x80) {
      if (IsControl(C) || C == '\\')
        return false;
      ++I;
      continue;
    }
    const std::size_t Length = SequenceLength(aName, I);
    if (Length == 0 || IsC1(aName, I, Length))
      return false;
    I += Length;
  }
  return true;
}

std::string ListedName(std::string_view aName) {
  if (ListsAsItIs(aName))
    return std::string(aName);
  std::string Result = "\"";
  for (std::size_t I = 0; I < aName.size();) {
    const char Char = aName[I];
    const auto C = static_cast<unsigned char>(Char);
    if (C >= 0x80) {
      const std::size_t Length = SequenceLength(aName, I);
      if (Length == 0 || IsC1(aName, I, Length)) {
        // A broken sequence is escaped a byte at a time, from its lead.
        const std::size_t Escaped = Length == 0 ? 1 : Length;
        for (std::size_t K = 0; K < Escaped; ++K)
          AppendEscapedByte(Result, static_cast<unsigned char>(aName[I + K]));
        I += Escaped;
      } else {
        Result.append(aName.substr(I, Length));
        I += Length;
      }
      continue;
    }
    if (C == '"' || C == '\\')
      Result += {'\\', Char};
    else if (C == '\n')
      Result += "\\n";
    else if (C == '\r')
      Result += "\\r";
    else if (C == '\t')
      Result += "\\t";
    else if (IsControl(C))
      AppendEscapedByte(Result, C);
    else
      Result += Char;
    ++I;
  }
  return Result + '"';
}

} // namespace Kalvoro
