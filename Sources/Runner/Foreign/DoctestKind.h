// Test programs built with doctest as a kind of test code: a test suite is
// a unit test (the source file where a test is in none), a test case a
// method. Listed with the skip-marked tests by the list option with the XML
// reporter on descriptor 3; run with that reporter, the selection in the
// test-case filter (its ',' and '\' escaped, case-sensitive), in batches
// that fit one argument, or no filter when every test runs.
#pragma once

#include "XmlReportKind.h"

namespace Kalvoro {

class TDoctestKind final : public TXmlReportKind {
public:
  TDoctestKind() : TXmlReportKind(TForeignFramework::Doctest) {}
  std::string Name() const override { return "doctest program"; }

  std::vector<std::string> RunArguments(const std::vector<const TForeignTest*>& aTests, bool aAll,
                                        const std::string& aScratch,
                                        std::vector<const TForeignTest*>& aBatch) const override;
  std::vector<std::string> ShuffleArguments(std::uint64_t aSeed) const override {
    return {"--dt-order-by=rand", "--dt-rand-seed=" + std::to_string(aSeed)};
  }
  std::string MarkedText() const override {
    return "Skipped: the test is marked to skip and runs only by name";
  }

  // aName as one name of the test-case filter.
  static std::string EscapedName(const std::string& aName);
  // The tests of the XML listing.
  static std::vector<TForeignTest> ReadList(const std::string& aReport);
  // The longest argument a program may be given, in bytes.
  static constexpr std::size_t MaxArgument = 131071;

protected:
  std::vector<TForeignTest> ListTests(TModule& aModule) const override;
};

} // namespace Kalvoro
