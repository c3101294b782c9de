#include "XmlTestReport.h"

#include "AheadStore.h"

#include <cstdlib>

namespace Kalvoro {

std::string TTestOutcome::Save() const {
  TRecord Record;
  Record.Number(Items.size());
  for (const TOutcomeItem& Item : Items) {
    Record.Number(Item.Type);
    Record.Text(Item.Text);
    Record.Text(Item.File);
    Record.Number(Item.Line);
  }
  Record.Text(Death);
  return Record.Bytes();
}

void TTestOutcome::Load(const std::string& aRecord) {
  TRecordReader Record(aRecord);
  Items.resize(Record.Number());
  for (TOutcomeItem& Item : Items) {
    Item.Type = static_cast<TOutcomeItem::TType>(Record.Number());
    Item.Text = Record.Text();
    Item.File = Record.Text();
    Item.Line = static_cast<unsigned>(Record.Number());
  }
  Death = Record.Text();
}

std::size_t TTestOutcome::Bytes() const {
  std::size_t Size = Death.size();
  for (const TOutcomeItem& Item : Items)
    Size += Item.Text.size() + Item.File.size() + 48;
  return Size;
}

namespace {

// The frameworks indent an element's text on lines of its own: the text
// without that indentation, its lines joined by line breaks.
std::string Trimmed(const std::string& aText) {
  std::string Result;
  std::size_t Start = 0;
  while (Start <= aText.size()) {
    std::size_t End = aText.find('\n', Start);
    if (End == std::string::npos)
      End = aText.size();
    const std::size_t First = aText.find_first_not_of(" \t\r", Start);
    if (First != std::string::npos && First < End) {
      const std::size_t Last = aText.find_last_not_of(" \t\r", End - 1);
      if (!Result.empty())
        Result += '\n';
      Result.append(aText, First, Last + 1 - First);
    }
    Start = End + 1;
  }
  return Result;
}

unsigned LineOf(const TXmlEvent& aEvent) {
  return static_cast<unsigned>(std::strtoul(aEvent.Attribute("line").c_str(), nullptr, 10));
}

} // namespace

std::string TXmlTestReport::SectionPrefix() const {
  std::string Path;
  for (const std::string& Section : FSections)
    Path += (Path.empty() ? "" : " > ") + Section;
  return Path.empty() ? Path : "[" + Path + "] ";
}

void TXmlTestReport::Add(TOutcomeItem::TType aType, const std::string& aText,
                         const TXmlEvent& aAt) {
  if (FCurrent == nullptr)
    return;
  TOutcomeItem Item{aType, aType == TOutcomeItem::Report ? aText : SectionPrefix() + aText,
                    aAt.Attribute("filename"), LineOf(aAt)};
  if (Item.File.empty()) {
    Item.File = FFile;
    Item.Line = FLine;
  }
  FCurrent->Items.push_back(std::move(Item));
}

void TXmlTestReport::Opened(const TXmlEvent& aEvent) {
  const std::string& Name = aEvent.Name;
  if (Name == "TestCase") {
    FInTest = true;
    FSections.clear();
    FInfos.clear();
    FVerdict.clear();
    FTimedOut = false;
    FFile = aEvent.Attribute("filename");
    FLine = LineOf(aEvent);
    // doctest names each test that it filtered out, as skipped.
    FCurrent = aEvent.Attribute("skipped") == "true"
                   ? nullptr
                   : FFind(aEvent.Attribute("name"), FFile, FLine);
    if (FCurrent != nullptr) {
      FCurrent->Started = true;
      FProgress = true;
    }
  } else if (!FInTest) {
    return;
  } else if (Name == "Section" || Name == "SubCase") {
    FSections.push_back(aEvent.Attribute("name"));
    std::string Path;
    for (const std::string& Section : FSections)
      Path += (Path.empty() ? "" : " > ") + Section;
    Add(TOutcomeItem::Report, "section " + Path, aEvent);
  } else if (Name == "Expression") {
    FOriginal.clear();
    FExpanded.clear();
  } else if (Name == "OverallResult") {
    FVerdict = aEvent.Attribute("success");
  } else if (Name == "OverallResultsAsserts") {
    FVerdict = aEvent.Attribute("test_case_success");
    FTimedOut = aEvent.Has("timeout");
  }
}

void TXmlTestReport::Closed(const TElement& aElement) {
  const TXmlEvent& Start = aElement.Start;
  const std::string& Name = Start.Name;
  const std::string Text = Trimmed(aElement.Text);
  if (Name == "TestCase") {
    CloseTest();
  } else if (!FInTest) {
    return;
  } else if (Name == "Section" || Name == "SubCase") {
    if (!FSections.empty())
      FSections.pop_back();
  } else if (Name == "Original") {
    FOriginal = Text;
  } else if (Name == "Expanded") {
    FExpanded = Text;
  } else if (Name == "Info") {
    FInfos.push_back(Text);
  } else if (Name == "Text") {
    FMessage = Text;
  } else if (Name == "Expression") {
    if (Start.Attribute("success") != "false")
      return;
    std::string Check = Start.Attribute("type") + "( " + FOriginal + " )";
    if (!FExpanded.empty() && FExpanded != FOriginal)
      Check += " with expansion: " + FExpanded;
    for (const std::string& Info : FInfos)
      Check += "\n" + Info;
    FInfos.clear();
    Add(TOutcomeItem::Failure, Check, Start);
  } else if (Name == "Failure") {
    std::string Failure = Text;
    for (const std::string& Info : FInfos)
      Failure += "\n" + Info;
    FInfos.clear();
    Add(TOutcomeItem::Failure, Failure, Start);
  } else if (Name == "Message") {
    const std::string Type = Start.Attribute("type");
    if (Type == "ERROR" || Type == "FATAL ERROR")
      Add(TOutcomeItem::Failure, FMessage, Start);
    else
      Add(TOutcomeItem::Report, (Type.empty() ? "" : Type + ": ") + FMessage, Start);
    FMessage.clear();
  } else if (Name == "Warning") {
    Add(TOutcomeItem::Report, "WARNING: " + Text, Start);
  } else if (Name == "StdOut" || Name == "StdErr") {
    std::size_t From = 0;
    const std::string& Raw = aElement.Text;
    for (std::size_t End; From < Raw.size(); From = End + 1) {
      End = Raw.find('\n', From);
      if (End == std::string::npos)
        End = Raw.size();
      if (End > From)
        Add(TOutcomeItem::Report, Raw.substr(From, End - From), Start);
    }
  } else if (Name == "Exception" || Name == "FatalErrorCondition") {
    Add(TOutcomeItem::Error, Text, Start);
    if (Name == "FatalErrorCondition" || Start.Attribute("crash") == "true")
      FLastFatal = FCurrent;
  } else if (Name == "Skip") {
    if (FCurrent != nullptr)
      FCurrent->Skipped = true;
    Add(TOutcomeItem::Report, Text, Start);
  }
}

void TXmlTestReport::CloseTest() {
  if (FCurrent != nullptr) {
    std::vector<TOutcomeItem>& Items = FCurrent->Items;
    bool Faults = false;
    for (const TOutcomeItem& Item : Items)
      Faults = Faults || Item.Type != TOutcomeItem::Report;
    if (FVerdict == "true" && Faults) {
      // Expected to fail, and it did: its failures are what it expected.
      for (TOutcomeItem& Item : Items)
        if (Item.Type != TOutcomeItem::Report) {
          Item.Type = TOutcomeItem::Report;
          Item.Text = "Expected failure: " + Item.Text;
        }
    } else if (FVerdict == "false" && !Faults && !FCurrent->Skipped) {
      Items.push_back({FTimedOut ? TOutcomeItem::Error : TOutcomeItem::Failure,
                       FTimedOut ? "The test exceeded its own time limit"
                                 : "Failed as the framework judges it: expected to fail, "
                                   "or to fail as often as it was expected to, and it did not",
                       FFile, FLine});
    }
    // A test that a fatal signal ended ends with the program, which the
    // signal ends next.
    FCurrent->Ended = FCurrent != FLastFatal;
  }
  FCurrent = nullptr;
  FInTest = false;
  FSections.clear();
}

void TXmlTestReport::Handle(const TXmlEvent& aEvent) {
  switch (aEvent.Type) {
  case TXmlEvent::Start:
    FStack.push_back({aEvent, {}});
    Opened(aEvent);
    break;
  case TXmlEvent::Text:
    if (!FStack.empty())
      FStack.back().Text += aEvent.Content;
    break;
  case TXmlEvent::End:
    if (!FStack.empty()) {
      const TElement Element = std::move(FStack.back());
      FStack.pop_back();
      Closed(Element);
    }
    break;
  }
}

} // namespace Kalvoro
