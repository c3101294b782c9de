#include "XmlReader.h"

#include <cstdint>
#include <cstdlib>
#include <stdexcept>

namespace Kalvoro {

namespace {

bool Blank(char aChar) {
  return aChar == ' ' || aChar == '\t' || aChar == '\n' || aChar == '\r';
}

void AppendUtf8(std::string& aInto, std::uint32_t aCode) {
  if (aCode == 0 || aCode > 0x10FFFF || (aCode >= 0xD800 && aCode <= 0xDFFF)) {
    aInto += "\xEF\xBF\xBD"; // no character: the replacement character
  } else if (aCode < 0x80) {
    aInto += static_cast<char>(aCode);
  } else if (aCode < 0x800) {
    aInto += static_cast<char>(0xC0 | (aCode >> 6));
    aInto += static_cast<char>(0x80 | (aCode & 0x3F));
  } else if (aCode < 0x10000) {
    aInto += static_cast<char>(0xE0 | (aCode >> 12));
    aInto += static_cast<char>(0x80 | ((aCode >> 6) & 0x3F));
    aInto += static_cast<char>(0x80 | (aCode & 0x3F));
  } else {
    aInto += static_cast<char>(0xF0 | (aCode >> 18));
    aInto += static_cast<char>(0x80 | ((aCode >> 12) & 0x3F));
    aInto += static_cast<char>(0x80 | ((aCode >> 6) & 0x3F));
    aInto += static_cast<char>(0x80 | (aCode & 0x3F));
  }
}

// The end of a tag that starts at aText[0] ('<'): the index of its '>' (a
// '>' inside a quoted value does not end it), or npos while it is cut.
std::size_t TagEnd(std::string_view aText) {
  if (aText.starts_with("<!--")) {
    const std::size_t End = aText.find("-->", 4);
    return End == std::string_view::npos ? End : End + 2;
  }
  if (aText.starts_with("<![CDATA[")) {
    const std::size_t End = aText.find("]]>", 9);
    return End == std::string_view::npos ? End : End + 2;
  }
  char Quote = 0;
  for (std::size_t I = 1; I < aText.size(); ++I) {
    const char Char = aText[I];
    if (Quote != 0) {
      if (Char == Quote)
        Quote = 0;
    } else if (Char == '"' || Char == '\'') {
      Quote = Char;
    } else if (Char == '>') {
      return I;
    }
  }
  return std::string_view::npos;
}

} // namespace

std::string TXmlEvent::Attribute(std::string_view aName, std::string_view aDefault) const {
  for (const auto& [Name, Value] : Attributes)
    if (Name == aName)
      return Value;
  return std::string(aDefault);
}

bool TXmlEvent::Has(std::string_view aName) const {
  for (const auto& Attribute : Attributes)
    if (Attribute.first == aName)
      return true;
  return false;
}

std::string DecodeXml(std::string_view aText) {
  std::string Result;
  Result.reserve(aText.size());
  for (std::size_t I = 0; I < aText.size(); ++I) {
    const std::size_t End = aText[I] == '&' ? aText.find(';', I) : std::string_view::npos;
    if (End == std::string_view::npos || End - I > 12) {
      Result += aText[I];
      continue;
    }
    const std::string_view Entity = aText.substr(I + 1, End - I - 1);
    if (Entity == "lt")
      Result += '<';
    else if (Entity == "gt")
      Result += '>';
    else if (Entity == "amp")
      Result += '&';
    else if (Entity == "quot")
      Result += '"';
    else if (Entity == "apos")
      Result += '\'';
    else if (Entity.size() > 1 && Entity[0] == '#') {
      const bool Hex = Entity[1] == 'x' || Entity[1] == 'X';
      const std::string Digits(Entity.substr(Hex ? 2 : 1));
      char* Stop = nullptr;
      const unsigned long Code = std::strtoul(Digits.c_str(), &Stop, Hex ? 16 : 10);
      if (Digits.empty() || *Stop != 0) {
        Result += aText[I];
        continue;
      }
      AppendUtf8(Result, Code > 0x10FFFF ? 0 : static_cast<std::uint32_t>(Code));
    } else {
      Result += aText[I]; // no entity this reader knows: the text as it is
      continue;
    }
    I = End;
  }
  return Result;
}

void TXmlReader::FlushText(std::vector<TXmlEvent>& aEvents) {
  if (FPending.empty())
    return;
  if (!FOpen.empty()) {
    TXmlEvent Event;
    Event.Content = DecodeXml(FPending);
    aEvents.push_back(std::move(Event));
  }
  FPending.clear();
}

void TXmlReader::Markup(std::string_view aTag, std::vector<TXmlEvent>& aEvents) {
  // aTag is the whole tag without its '<' and '>'.
  if (aTag.starts_with("![CDATA[")) {
    if (!FOpen.empty()) {
      TXmlEvent Event;
      Event.Content = std::string(aTag.substr(8, aTag.size() - 10));
      aEvents.push_back(std::move(Event));
    }
    return;
  }
  if (aTag.empty() || aTag[0] == '?' || aTag[0] == '!')
    return; // a declaration, a comment or a doctype
  if (aTag[0] == '/') {
    std::string_view Name = aTag.substr(1);
    while (!Name.empty() && Blank(Name.back()))
      Name.remove_suffix(1);
    // An end tag closes its element and those left open inside it; one that
    // matches nothing open is skipped.
    for (std::size_t Depth = FOpen.size(); Depth-- > 0;) {
      if (FOpen[Depth] != Name)
        continue;
      while (FOpen.size() > Depth) {
        aEvents.push_back({TXmlEvent::End, FOpen.back(), {}, {}});
        FOpen.pop_back();
      }
      FClosed = FOpen.empty();
      break;
    }
    return;
  }
  const bool Empty = aTag.back() == '/';
  if (Empty)
    aTag.remove_suffix(1);
  TXmlEvent Event;
  Event.Type = TXmlEvent::Start;
  std::size_t I = 0;
  while (I < aTag.size() && !Blank(aTag[I]))
    ++I;
  Event.Name = std::string(aTag.substr(0, I));
  for (;;) {
    while (I < aTag.size() && Blank(aTag[I]))
      ++I;
    const std::size_t Equals = aTag.find('=', I);
    if (I >= aTag.size() || Equals == std::string_view::npos)
      break;
    std::string_view Name = aTag.substr(I, Equals - I);
    while (!Name.empty() && Blank(Name.back()))
      Name.remove_suffix(1);
    std::size_t Open = Equals + 1;
    while (Open < aTag.size() && Blank(aTag[Open]))
      ++Open;
    if (Open >= aTag.size() || (aTag[Open] != '"' && aTag[Open] != '\''))
      break;
    const std::size_t Close = aTag.find(aTag[Open], Open + 1);
    if (Close == std::string_view::npos)
      break;
    Event.Attributes.emplace_back(std::string(Name),
                                  DecodeXml(aTag.substr(Open + 1, Close - Open - 1)));
    I = Close + 1;
  }
  if (FClosed || (FStarted && FOpen.empty()))
    return; // nothing counts after the root element
  FStarted = true;
  const std::string Name = Event.Name;
  aEvents.push_back(std::move(Event));
  if (Empty) {
    aEvents.push_back({TXmlEvent::End, Name, {}, {}});
    FClosed = FOpen.empty();
  } else {
    FOpen.push_back(Name);
  }
}

void TXmlReader::Feed(std::string_view aChunk, std::vector<TXmlEvent>& aEvents) {
  // FPending holds text, or a tag from its '<' on; a chunk completes it.
  std::string Buffer = std::move(FPending);
  FPending.clear();
  Buffer.append(aChunk);
  std::size_t At = 0;
  while (At < Buffer.size()) {
    const std::size_t Open = Buffer.find('<', At);
    if (Open == std::string::npos) {
      FPending.append(Buffer, At, std::string::npos);
      break;
    }
    FPending.append(Buffer, At, Open - At);
    const std::size_t End = TagEnd(std::string_view(Buffer).substr(Open));
    if (End == std::string_view::npos) {
      // A tag cut short waits for the rest; the text before it is given.
      FlushText(aEvents);
      FPending = Buffer.substr(Open);
      return;
    }
    FlushText(aEvents);
    Markup(std::string_view(Buffer).substr(Open + 1, End - 1), aEvents);
    At = Open + End + 1;
  }
  // Text whose end has not arrived stays pending: an entity may be cut.
}

std::vector<TXmlEvent> WholeXmlEvents(std::string_view aReport) {
  TXmlReader Reader;
  std::vector<TXmlEvent> Events;
  Reader.Feed(aReport, Events);
  if (!Reader.Closed())
    throw std::runtime_error("the list stops before its end");
  return Events;
}

} // namespace Kalvoro
