// What the JUnit report's tests share: a clock that ticks on each reading,
// and a check that a document is well-formed XML.
#pragma once

#include "JUnitReport.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace ReportingTest {

// Every reading is 123 microseconds after the previous one.
inline Kalvoro::TSteadyClock TickingClock() {
  auto Now = std::make_shared<std::chrono::nanoseconds>(0);
  return [Now] { return *Now += std::chrono::microseconds(123); };
}

// A rough XML 1.0 check: valid UTF-8 of allowed characters only, known
// entity references, quoted attributes, balanced tags and one root element.
// Returns an empty text when the document passes, else what is wrong.
inline std::string WellFormednessError(const std::string& aXml) {
  for (std::size_t I = 0; I < aXml.size();) {
    const auto C = static_cast<unsigned char>(aXml[I]);
    if (C < 0x20 && C != '\t' && C != '\n' && C != '\r')
      return "control character at " + std::to_string(I);
    const std::size_t Length = C < 0x80   ? 1
                               : C < 0xC2 ? 0
                               : C < 0xE0 ? 2
                               : C < 0xF0 ? 3
                               : C < 0xF5 ? 4
                                          : 0;
    if (Length == 0 || I + Length > aXml.size())
      return "invalid UTF-8 at " + std::to_string(I);
    unsigned Code = Length == 1 ? C : C & (0x7F >> Length);
    for (std::size_t K = 1; K < Length; ++K) {
      const auto Next = static_cast<unsigned char>(aXml[I + K]);
      if ((Next & 0xC0) != 0x80)
        return "invalid UTF-8 at " + std::to_string(I);
      Code = (Code << 6) | (Next & 0x3F);
    }
    const unsigned Least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (Code < Least[Length] || (Code >= 0xD800 && Code <= 0xDFFF) || Code == 0xFFFE ||
        Code == 0xFFFF || Code > 0x10FFFF)
      return "not an XML character at " + std::to_string(I);
    I += Length;
  }
  const std::string Declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  if (aXml.compare(0, Declaration.size(), Declaration) != 0)
    return "no XML declaration";
  auto EntityOk = [&](std::size_t aAt) {
    const std::size_t Semicolon = aXml.find(';', aAt);
    if (Semicolon == std::string::npos)
      return false;
    const std::string Name = aXml.substr(aAt + 1, Semicolon - aAt - 1);
    if (Name == "amp" || Name == "lt" || Name == "gt" || Name == "quot" || Name == "apos")
      return true;
    return Name.size() > 1 && Name[0] == '#' &&
           Name.find_first_not_of("0123456789", 1) == std::string::npos;
  };
  std::vector<std::string> Open;
  int Roots = 0;
  std::size_t I = Declaration.size();
  while (I < aXml.size()) {
    if (aXml[I] == '&') {
      if (!EntityOk(I))
        return "bad entity at " + std::to_string(I);
      ++I;
    } else if (aXml[I] != '<') {
      if (Open.empty() && aXml[I] != '\n')
        return "text outside the root at " + std::to_string(I);
      ++I;
    } else {
      const bool Closing = aXml[I + 1] == '/';
      std::size_t J = I + (Closing ? 2 : 1);
      const std::size_t NameEnd = aXml.find_first_of(" />", J);
      const std::string Name = aXml.substr(J, NameEnd - J);
      if (Name.empty())
        return "tag without name at " + std::to_string(I);
      J = NameEnd;
      // Attributes: name="value" with no '<' or raw quote inside.
      while (aXml[J] == ' ') {
        const std::size_t Equals = aXml.find("=\"", J);
        const std::size_t Quote = aXml.find('"', Equals + 2);
        if (Equals == std::string::npos || Quote == std::string::npos)
          return "bad attribute at " + std::to_string(J);
        const std::string Value = aXml.substr(Equals + 2, Quote - Equals - 2);
        if (Value.find('<') != std::string::npos)
          return "'<' in attribute at " + std::to_string(J);
        for (std::size_t A = Value.find('&'); A != std::string::npos; A = Value.find('&', A + 1))
          if (!EntityOk(Equals + 2 + A))
            return "bad entity in attribute at " + std::to_string(J);
        J = Quote + 1;
      }
      const bool Empty = aXml.compare(J, 2, "/>") == 0;
      if (!Empty && aXml[J] != '>')
        return "unterminated tag at " + std::to_string(I);
      if (Closing) {
        if (Open.empty() || Open.back() != Name)
          return "mismatched </" + Name + ">";
        Open.pop_back();
      } else {
        if (Open.empty() && ++Roots > 1)
          return "second root element";
        if (!Empty)
          Open.push_back(Name);
      }
      I = J + (Empty ? 2 : 1);
    }
  }
  if (!Open.empty())
    return "unclosed <" + Open.back() + ">";
  return Roots == 1 ? std::string() : "no root element";
}

} // namespace ReportingTest
