// The reader of the frameworks' XML reports gives the same elements however
// the report is cut into chunks (mid-tag, mid-entity, mid-character), and
// tells a report cut short from a complete one.
#include "XmlReader.h"

#include <gtest/gtest.h>

namespace {

using Kalvoro::TXmlEvent;
using Kalvoro::TXmlReader;

// The events as one line each: "<Name a=v>", "</Name>", "'text'".
std::string Read(const std::string& aReport, std::size_t aCut, bool* aClosed = nullptr) {
  TXmlReader Reader;
  std::vector<TXmlEvent> Events;
  Reader.Feed(aReport.substr(0, aCut), Events);
  Reader.Feed(aReport.substr(aCut), Events);
  if (aClosed != nullptr)
    *aClosed = Reader.Closed();
  std::string Text;
  for (const TXmlEvent& Event : Events) {
    if (Event.Type == TXmlEvent::Start) {
      Text += "<" + Event.Name;
      for (const auto& [Name, Value] : Event.Attributes)
        Text += " " + Name + "=" + Value;
      Text += ">";
    } else if (Event.Type == TXmlEvent::End) {
      Text += "</" + Event.Name + ">";
    } else {
      Text += Event.Content;
    }
  }
  return Text;
}

TEST(XmlReader, GivesTheSameElementsWhereverTheReportIsCut) {
  const std::string Report =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Catch name=\"a &gt; b\">"
      "<TestCase name=\"x &amp; &quot;y&quot; &#x41;&#66;\" line='3'><!-- a > comment -->"
      "<Expanded>1 &lt; 2 \xC3\xA4\xE2\x82\xAC</Expanded><Empty/></TestCase></Catch>";
  const std::string Whole = "<Catch name=a > b><TestCase name=x & \"y\" AB line=3>"
                            "<Expanded>1 < 2 \xC3\xA4\xE2\x82\xAC</Expanded><Empty></Empty>"
                            "</TestCase></Catch>";
  for (std::size_t Cut = 0; Cut <= Report.size(); ++Cut) {
    bool Closed = false;
    EXPECT_EQ(Read(Report, Cut, &Closed), Whole) << "cut at " << Cut;
    EXPECT_TRUE(Closed) << "cut at " << Cut;
  }
  // A report that stops before its root's end is not complete, and what
  // it holds up to the cut is read.
  bool Closed = true;
  EXPECT_EQ(Read(Report.substr(0, Report.find("</TestCase>")), 0, &Closed),
            Whole.substr(0, Whole.find("</TestCase>")));
  EXPECT_FALSE(Closed);
}

} // namespace
