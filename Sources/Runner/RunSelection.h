// Which methods a run takes and in what order: name filters, shards that
// spread one run over several processes or machines, and a shuffled order
// that one number repeats. The framework asks through TRunPlan; it knows
// nothing of names or shards.
#pragma once

#include "TestKind.h"
#include "UnitTestBase.h"

#include <cstdint>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Kalvoro {

// True when aText matches aGlob as a whole: '*' stands for any run of
// characters (none too), '?' for one character, everything else for itself.
bool GlobMatches(std::string_view aGlob, std::string_view aText);

// Where a method stands in a run: the Method-th method (from 1) of the
// UnitTest-th unit test (from 1) of the run's scenarios, in list order,
// disabled unit tests counted too. {0, 0}: nowhere.
struct TMethodPosition {
  int UnitTest = 0;
  int Method = 0;
  bool operator==(const TMethodPosition&) const = default;
};

// A filter "POSITIVE[-NEGATIVE]", each part a ':'-separated list of globs,
// matched against "TUnitTest.Method". A method passes when it matches one of
// the positive globs (an empty positive part counts as "*") and none of the
// negative ones. Empty list elements are ignored. An element "@U.M" (whole
// numbers from 1) stands for the method at that position, whatever its
// name: it selects a method whose name cannot (empty or repeated names,
// names holding '.' in both parts). A name that the listing shows escaped
// (ListedName.h) is matched in that form too, so that what `list` printed
// selects it.
class TNameFilter {
public:
  TNameFilter() = default; // lets every name pass
  explicit TNameFilter(std::string_view aPattern);
  // aListed: the name as the listing shows it, when that differs (else empty).
  bool Passes(std::string_view aName, TMethodPosition aPosition = {},
              std::string_view aListed = {}) const;
  bool PassesAll() const { return FPositive.empty() && FNegative.empty(); }
  // Whether the name passes by a positive element that names it exactly (no
  // wildcard) or by its position.
  bool Names(std::string_view aName, TMethodPosition aPosition = {},
             std::string_view aListed = {}) const;

private:
  struct TElement {
    std::string Glob;
    TMethodPosition Position; // {0, 0}: the element is a glob
  };
  static std::vector<TElement> SplitList(std::string_view aList);
  static bool AnyMatches(const std::vector<TElement>& aElements, std::string_view aName,
                         TMethodPosition aPosition, bool aExactOnly = false);

  std::vector<TElement> FPositive;
  std::vector<TElement> FNegative;
};

// Shard Index (from 0) of Count: of the chosen methods in list order, the
// k-th (from 0) belongs to shard k mod Count.
struct TShard {
  int Index = 0;
  int Count = 1;
  bool Takes(int aPosition) const { return aPosition % Count == Index; }
};

// Parses "INDEX/COUNT" (decimal, 0 <= INDEX < COUNT). On an error returns
// false and sets aError.
bool ParseShard(std::string_view aText, TShard& aShard, std::string& aError);

// The shard of a run: the one given as an option (aOption non-empty) wins;
// else the environment's total and index (nullptr or empty: not set; both or
// neither must be set); else the one shard of one.
bool ChooseShard(std::string_view aOption, const char* aTotalShards, const char* aShardIndex,
                 TShard& aShard, std::string& aError);

// A portable random order: the same number gives the same order with every
// standard library (the engine's output is fixed by the standard, the
// drawing below is our own).
class TShuffler {
public:
  explicit TShuffler(std::uint64_t aNumber) : FEngine(aNumber) {}
  void Shuffle(std::vector<int>& aItems);

private:
  // A uniform number in [0, aBound), aBound > 0, without modulo bias.
  std::uint64_t Below(std::uint64_t aBound);
  std::mt19937_64 FEngine;
};

// A number to shuffle with when the user gives none.
std::uint64_t RandomShuffleNumber();

// The plan of a run over given scenarios: the methods of their enabled unit
// tests that pass the filter and fall in the shard (fixed when made, in list
// order, so that every process of a sharded run agrees whatever its order),
// run in list order or shuffled.
class TRunSelection : public TRunPlan, public INamedMethods {
public:
  TRunSelection(const std::vector<TTestScenario*>& aScenarios, const TNameFilter& aFilter,
                TShard aShard);

  // The methods that pass the filter, and those of them in the shard.
  int Passed() const { return FPassed; }
  int Chosen() const { return FChosen; }
  // Shuffles the next runs from aNumber; nullopt runs in list order.
  void SetShuffle(std::optional<std::uint64_t> aNumber);
  // The number the runs are shuffled from; nullopt: list order.
  std::optional<std::uint64_t> ShuffleNumber() const { return FShuffleNumber; }

  // A unit test runs when one of its methods is chosen; one without methods
  // runs only when nothing is filtered or sharded away (it matches no name).
  bool RunsUnitTest(const TUnitTestBase& aUnitTest) const override;
  bool Runs(const TUnitTestBase& aUnitTest, int aMethodIndex) const override;
  void OrderUnitTests(const TTestScenario& aScenario, std::vector<int>& aOrder) override;
  void OrderMethods(const TUnitTestBase& aUnitTest, std::vector<int>& aOrder) override;
  bool Named(const TUnitTestBase& aUnitTest, int aMethodIndex) const override;

private:
  std::unordered_map<const TUnitTestBase*, std::vector<bool>> FRuns;
  std::set<std::pair<const TUnitTestBase*, int>> FNamed;
  int FPassed = 0;
  int FChosen = 0;
  bool FChoosesAll = true;
  std::optional<TShuffler> FShuffler;
  std::optional<std::uint64_t> FShuffleNumber;
};

} // namespace Kalvoro
