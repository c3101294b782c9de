#include "XmlText.h"

namespace Kalvoro {

namespace {

const char* const Replacement = "\xEF\xBF\xBD"; // U+FFFD in UTF-8

// Length of the valid UTF-8 sequence at aText[aIndex] that XML 1.0 allows,
// or 0 when the bytes there are not one.
std::size_t ValidSequence(std::string_view aText, std::size_t aIndex) {
  const auto Byte = [&](std::size_t aOffset) {
    return static_cast<unsigned char>(aText[aIndex + aOffset]);
  };
  const unsigned char Lead = Byte(0);
  std::size_t Length;
  unsigned char Low = 0x80, High = 0xBF; // allowed range of the second byte
  if (Lead >= 0xC2 && Lead <= 0xDF)
    Length = 2;
  else if (Lead >= 0xE0 && Lead <= 0xEF) {
    Length = 3;
    if (Lead == 0xE0)
      Low = 0xA0; // no overlong forms
    else if (Lead == 0xED)
      High = 0x9F; // no surrogates
  } else if (Lead >= 0xF0 && Lead <= 0xF4) {
    Length = 4;
    if (Lead == 0xF0)
      Low = 0x90; // no overlong forms
    else if (Lead == 0xF4)
      High = 0x8F; // nothing above U+10FFFF
  } else
    return 0;
  if (aIndex + Length > aText.size())
    return 0;
  if (Byte(1) < Low || Byte(1) > High)
    return 0;
  for (std::size_t I = 2; I < Length; ++I)
    if (Byte(I) < 0x80 || Byte(I) > 0xBF)
      return 0;
  // U+FFFE and U+FFFF are not XML characters.
  if (Lead == 0xEF && Byte(1) == 0xBF && Byte(2) >= 0xBE)
    return 0;
  return Length;
}

} // namespace

void AppendXmlEscaped(std::string& aXml, std::string_view aText, bool aAttribute) {
  std::size_t I = 0;
  while (I < aText.size()) {
    const char C = aText[I];
    const auto Code = static_cast<unsigned char>(C);
    if (Code >= 0x80) {
      const std::size_t Length = ValidSequence(aText, I);
      if (Length == 0) {
        aXml.append(Replacement);
        ++I;
      } else {
        aXml.append(aText.substr(I, Length));
        I += Length;
      }
      continue;
    }
    switch (C) {
    case '&':
      aXml.append("&amp;");
      break;
    case '<':
      aXml.append("&lt;");
      break;
    case '>':
      aXml.append("&gt;");
      break;
    case '"':
      aXml.append("&quot;");
      break;
    case '\'':
      aXml.append("&apos;");
      break;
    case '\r':
      // A raw CR would be normalised away by the reader.
      aXml.append("&#13;");
      break;
    case '\n':
    case '\t':
      // Attribute values would turn them into spaces.
      if (aAttribute)
        aXml.append(C == '\n' ? "&#10;" : "&#9;");
      else
        aXml.push_back(C);
      break;
    default:
      if (Code < 0x20)
        aXml.append(Replacement); // control characters are not XML 1.0 characters
      else
        aXml.push_back(C);
      break;
    }
    ++I;
  }
}

} // namespace Kalvoro
