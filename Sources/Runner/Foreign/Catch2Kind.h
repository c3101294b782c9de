// Test programs built with Catch2 (v2 and v3) as a kind of test code: a
// test case's source file (or, in v3, its class where it has one) is a unit
// test, the test case a method. Listed twice by name with their places (once
// with the hidden tests, once without, which tells them apart): v2 as text,
// v3 in its XML list report; run with the XML reporter on descriptor 3 and
// the selection in a file of escaped names, or no names when every test
// runs (both versions take the same run options).
#pragma once

#include "XmlReportKind.h"

namespace Kalvoro {

class TCatch2Kind final : public TXmlReportKind {
public:
  TCatch2Kind() : TXmlReportKind(TForeignFramework::Catch2) {}
  std::string Name() const override { return "Catch2 program"; }
  std::vector<std::string> RunArguments(const std::vector<const TForeignTest*>& aTests, bool aAll,
                                        const std::string& aScratch,
                                        std::vector<const TForeignTest*>& aBatch) const override;
  // The report trims the names it shows.
  std::string ReportedName(const std::string& aName) const override;
  std::vector<std::string> ShuffleArguments(std::uint64_t aSeed) const override {
    return {"--order", "rand", "--rng-seed", std::to_string(aSeed)};
  }
  std::string MarkedText() const override { return "Hidden: a hidden test runs only by name"; }

  // aName as a line of a selection file: the characters that the name filter
  // reads as patterns, and a leading '#' (a comment), escaped.
  static std::string EscapedName(const std::string& aName);
  // The tests in a names-only listing: "name\t@file:line" lines.
  static std::vector<TForeignTest> ReadNames(const std::string& aOutput);
  // The tests in a v3 XML list report: TestCase elements with their Name,
  // ClassName and SourceInfo's File and Line.
  static std::vector<TForeignTest> ReadListReport(const std::string& aReport);

protected:
  std::vector<TForeignTest> ListTests(TModule& aModule) const override;
};

} // namespace Kalvoro
