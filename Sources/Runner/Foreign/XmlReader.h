// A small incremental reader of XML, for the reports that test programs of
// other frameworks write while they run: it takes the report in the chunks
// it arrives in (cut anywhere, mid-tag or mid-character) and gives the
// elements it completes. Input is untrusted and may stop anywhere: what
// cannot be read is skipped, and Closed says whether the report came to its
// end. No DTDs; the five named entities and character references are read.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Kalvoro {

struct TXmlEvent {
  enum TType { Start, End, Text };
  TType Type = Text;
  std::string Name;                                            // of the element (Start, End)
  std::vector<std::pair<std::string, std::string>> Attributes; // of Start
  std::string Content;                                         // of Text, decoded

  // The attribute's value, or aDefault where it has none.
  std::string Attribute(std::string_view aName, std::string_view aDefault = {}) const;
  bool Has(std::string_view aName) const;
};

class TXmlReader {
public:
  // Reads aChunk after what came before, and appends the events it
  // completes to aEvents. Text is given when the markup after it arrives.
  void Feed(std::string_view aChunk, std::vector<TXmlEvent>& aEvents);
  // Whether the root element has been closed: the report is complete.
  bool Closed() const { return FClosed; }
  // How deep the reader is: 0 outside the root element.
  int Depth() const { return static_cast<int>(FOpen.size()); }

private:
  void Markup(std::string_view aTag, std::vector<TXmlEvent>& aEvents);
  void FlushText(std::vector<TXmlEvent>& aEvents);

  std::string FPending; // bytes not read yet: a tag or text cut short
  std::vector<std::string> FOpen;
  bool FStarted = false;
  bool FClosed = false;
};

// The events of a whole report (a listing); raises std::runtime_error where
// it stops before its root element's end.
std::vector<TXmlEvent> WholeXmlEvents(std::string_view aReport);

// aText with its entities and character references replaced.
std::string DecodeXml(std::string_view aText);

} // namespace Kalvoro
