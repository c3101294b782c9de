// What a Catch2 or doctest program's XML report says about each test, read
// event by event as it arrives: a test's failed assertions become failures
// with their place, expression and values; its exceptions and fatal
// signals, errors; its warnings, captured output and the sections or
// subcases it enters, report lines. When a test closes, the framework's own
// verdict decides: a test it passes despite failures (expected to fail)
// keeps them as report lines, one it fails without any gets a failure.
#pragma once

#include "XmlReader.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace Kalvoro {

// One line of a test's outcome, in the order it happened.
struct TOutcomeItem {
  enum TType { Report, Failure, Error };
  TType Type = Report;
  std::string Text;
  std::string File;
  unsigned Line = 0;
};

// What one test of a program did.
struct TTestOutcome {
  bool Started = false;
  bool Ended = false; // it ended, or will never run
  bool Skipped = false;
  std::vector<TOutcomeItem> Items;
  std::string Death; // why it ended as an exception (a crash, a limit)

  // Its items and death as a record (AheadStore.h), their size, and back;
  // Stored: they lie in the runner's store, from StoredAt.
  std::string Save() const;
  void Load(const std::string& aRecord);
  std::size_t Bytes() const;
  void Drop() {
    Items.clear();
    Death.clear();
  }
  bool Stored = false;
  bool Replayed = false; // the run has had it
  std::uint64_t StoredAt = 0;
  std::size_t StoredSize = 0;
};

class TXmlTestReport {
public:
  // The outcome of the test that the report opens, by its name and place;
  // null for a test that was not asked for (its events are dropped).
  using TFind = std::function<TTestOutcome*(const std::string& aName, const std::string& aFile,
                                            unsigned aLine)>;
  explicit TXmlTestReport(TFind aFind) : FFind(std::move(aFind)) {}

  void Handle(const TXmlEvent& aEvent);
  // Whether aEvent opens or closes a test.
  static bool Bounds(const TXmlEvent& aEvent) { return aEvent.Name == "TestCase"; }

  // The test open in the report now; null between tests.
  TTestOutcome* Open() const { return FCurrent; }
  // The last test that a fatal signal ended, as the framework saw it.
  TTestOutcome* LastFatal() const { return FLastFatal; }
  // Whether a test of ours has opened in this report.
  bool Progress() const { return FProgress; }

private:
  struct TElement {
    TXmlEvent Start;
    std::string Text;
  };

  void Add(TOutcomeItem::TType aType, const std::string& aText, const TXmlEvent& aAt);
  void Opened(const TXmlEvent& aEvent);
  void Closed(const TElement& aElement);
  void CloseTest();
  std::string SectionPrefix() const;

  TFind FFind;
  bool FInTest = false;
  TTestOutcome* FCurrent = nullptr;
  TTestOutcome* FLastFatal = nullptr;
  bool FProgress = false;
  std::vector<TElement> FStack;
  std::vector<std::string> FSections;
  std::vector<std::string> FInfos; // Catch2's, for its next assertion
  std::string FOriginal;
  std::string FExpanded;
  std::string FMessage; // doctest's message text
  std::string FVerdict; // "true", "false", or empty: none given
  bool FTimedOut = false;
  std::string FFile; // the test's place, for errors without one
  unsigned FLine = 0;
};

} // namespace Kalvoro
