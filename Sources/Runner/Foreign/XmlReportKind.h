// Test programs whose framework reports in XML (Catch2, doctest) as kinds
// of test code: recognised from the program's bytes (asked with the one
// safe probe only where they match several frameworks), listed by the
// program's own list option, run by XmlProgramRunner.h. A unit test is a
// group of the framework's tests (a doctest suite, a source file), a method
// is a test case under its framework's name. Each framework says how it
// lists, reads its list and selects tests.
#pragma once

#include "ProgramBytes.h"
#include "TestKind.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace Kalvoro {

// A test of a program's listing.
struct TForeignTest {
  std::string Name;  // as the framework names it, which its filter takes
  std::string Group; // the unit test it belongs to
  std::string File;
  unsigned Line = 0;
  bool Marked = false; // hidden or marked to skip: runs only by name
};

class TXmlReportKind : public ITestKind {
public:
  explicit TXmlReportKind(TForeignFramework aFramework) : FFramework(aFramework) {}

  bool Recognises(const std::string& aPath) const override;
  void List(TModule& aModule) override;
  void Forget(const TModule& aModule) override { FListings.erase(&aModule); }
  std::unique_ptr<IKindRunner> MakeRunner(const TWaitHook& aWait) override;

  // How long a listing may take, in seconds.
  void SetTimeLimit(double aSeconds) { FTimeLimit = aSeconds; }
  // The test that method aMethodIndex of aUnitTest stands for; null where
  // the module's listing is not this kind's.
  const TForeignTest* TestOf(const TUnitTestBase& aUnitTest, int aMethodIndex) const;
  // How many tests of aModule's listing run when none is named.
  std::size_t Unmarked(const TModule* aModule) const;

  // The arguments that run aTests, with the report on descriptor 3 (aAll:
  // they are every unmarked test). aBatch gets the tests that this start
  // runs: all of them, or as many as one start can be told. aScratch names
  // a file that the arguments may point at.
  virtual std::vector<std::string> RunArguments(const std::vector<const TForeignTest*>& aTests,
                                                bool aAll, const std::string& aScratch,
                                                std::vector<const TForeignTest*>& aBatch) const = 0;
  // The name under which the report shows a test of aName.
  virtual std::string ReportedName(const std::string& aName) const { return aName; }
  // The arguments that shuffle the program's order by aSeed.
  virtual std::vector<std::string> ShuffleArguments(std::uint64_t aSeed) const = 0;
  // Why a marked test ends skipped.
  virtual std::string MarkedText() const = 0;

protected:
  // The tests of aModule's program; raises std::runtime_error where its
  // list cannot be read.
  virtual std::vector<TForeignTest> ListTests(TModule& aModule) const = 0;
  // Runs aModule's program with aArguments to list its tests: its output,
  // and its report on descriptor 3 in aReport. Refuses the module (raises
  // TModuleException) where the program fails or takes too long.
  std::string RunListing(TModule& aModule, const std::vector<std::string>& aArguments,
                         std::string& aReport) const;

private:
  TForeignFramework FFramework;
  double FTimeLimit = 10.0;
  // Each module's tests by unit test, in listing order.
  std::map<const TModule*, std::vector<std::pair<std::string, std::vector<TForeignTest>>>>
      FListings;
};

// The file name of aPath, without its folders: a source file's unit test.
std::string SourceFileName(const std::string& aPath);

} // namespace Kalvoro
