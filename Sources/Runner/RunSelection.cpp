#include "RunSelection.h"

#include "ListedName.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace Kalvoro {

namespace {

// A whole decimal number without sign or blanks; nullopt otherwise.
std::optional<int> Decimal(std::string_view aText) {
  int Value = 0;
  if (aText.empty() || aText.front() < '0' || aText.front() > '9')
    return std::nullopt;
  const auto [End, Error] = std::from_chars(aText.data(), aText.data() + aText.size(), Value);
  if (Error != std::errc() || End != aText.data() + aText.size())
    return std::nullopt;
  return Value;
}

// "@U.M" with both numbers from 1; {0, 0} for anything else, a glob.
TMethodPosition PositionElement(std::string_view aItem) {
  const std::size_t Dot = aItem.find('.');
  if (aItem.size() < 4 || aItem.front() != '@' || Dot == std::string_view::npos)
    return {};
  const std::optional<int> UnitTest = Decimal(aItem.substr(1, Dot - 1));
  const std::optional<int> Method = Decimal(aItem.substr(Dot + 1));
  if (!UnitTest || !Method || *UnitTest < 1 || *Method < 1)
    return {};
  return {*UnitTest, *Method};
}

// "TUnitTest.Method" as the listing shows the two names, or an empty text
// when it shows them as they are.
std::string ListedForm(const std::string& aUnitTest, const std::string& aMethod) {
  if (ListsAsItIs(aUnitTest) && ListsAsItIs(aMethod))
    return {};
  return ListedName(aUnitTest) + "." + ListedName(aMethod);
}

bool IsSet(const char* aValue) {
  return aValue != nullptr && *aValue != '\0';
}

} // namespace

bool GlobMatches(std::string_view aGlob, std::string_view aText) {
  // Greedy matching that, on a mismatch, lets the last '*' take one more
  // character: linear for globs without '*', never exponential.
  std::size_t G = 0, T = 0;
  std::size_t StarAt = std::string_view::npos, StarText = 0;
  while (T < aText.size()) {
    if (G < aGlob.size() && (aGlob[G] == '?' || aGlob[G] == aText[T])) {
      ++G;
      ++T;
    } else if (G < aGlob.size() && aGlob[G] == '*') {
      StarAt = G++;
      StarText = T;
    } else if (StarAt != std::string_view::npos) {
      G = StarAt + 1;
      T = ++StarText;
    } else {
      return false;
    }
  }
  while (G < aGlob.size() && aGlob[G] == '*')
    ++G;
  return G == aGlob.size();
}

std::vector<TNameFilter::TElement> TNameFilter::SplitList(std::string_view aList) {
  std::vector<TElement> Result;
  while (!aList.empty()) {
    const std::size_t Colon = aList.find(':');
    const std::string_view Item = aList.substr(0, Colon);
    if (!Item.empty())
      Result.push_back({std::string(Item), PositionElement(Item)});
    if (Colon == std::string_view::npos)
      break;
    aList.remove_prefix(Colon + 1);
  }
  return Result;
}

bool TNameFilter::AnyMatches(const std::vector<TElement>& aElements, std::string_view aName,
                             TMethodPosition aPosition, bool aExactOnly) {
  for (const TElement& Element : aElements)
    if (Element.Position == TMethodPosition{}
            ? (aExactOnly
                   ? Element.Glob.find_first_of("*?") == std::string::npos && Element.Glob == aName
                   : GlobMatches(Element.Glob, aName))
            : Element.Position == aPosition)
      return true;
  return false;
}

TNameFilter::TNameFilter(std::string_view aPattern) {
  const std::size_t Dash = aPattern.find('-');
  FPositive = SplitList(aPattern.substr(0, Dash));
  if (Dash != std::string_view::npos)
    FNegative = SplitList(aPattern.substr(Dash + 1));
}

bool TNameFilter::Passes(std::string_view aName, TMethodPosition aPosition,
                         std::string_view aListed) const {
  const auto Matches = [&](const std::vector<TElement>& aElements) {
    return AnyMatches(aElements, aName, aPosition) ||
           (!aListed.empty() && AnyMatches(aElements, aListed, aPosition));
  };
  return (FPositive.empty() || Matches(FPositive)) && !Matches(FNegative);
}

bool TNameFilter::Names(std::string_view aName, TMethodPosition aPosition,
                        std::string_view aListed) const {
  return Passes(aName, aPosition, aListed) &&
         (AnyMatches(FPositive, aName, aPosition, true) ||
          (!aListed.empty() && AnyMatches(FPositive, aListed, aPosition, true)));
}

bool ParseShard(std::string_view aText, TShard& aShard, std::string& aError) {
  const std::size_t Slash = aText.find('/');
  const std::optional<int> Index =
      Slash == std::string_view::npos ? std::nullopt : Decimal(aText.substr(0, Slash));
  const std::optional<int> Count =
      Slash == std::string_view::npos ? std::nullopt : Decimal(aText.substr(Slash + 1));
  if (!Index || !Count || *Count < 1 || *Index >= *Count) {
    aError = "option --shard needs INDEX/COUNT with 0 <= INDEX < COUNT (e.g. 0/4), not \"" +
             std::string(aText) + "\"";
    return false;
  }
  aShard = TShard{*Index, *Count};
  return true;
}

bool ChooseShard(std::string_view aOption, const char* aTotalShards, const char* aShardIndex,
                 TShard& aShard, std::string& aError) {
  if (!aOption.empty())
    return ParseShard(aOption, aShard, aError);
  aShard = TShard{};
  if (!IsSet(aTotalShards) && !IsSet(aShardIndex))
    return true;
  if (!IsSet(aTotalShards) || !IsSet(aShardIndex)) {
    aError = std::string("the environment sets ") +
             (IsSet(aTotalShards) ? "TEST_TOTAL_SHARDS but not TEST_SHARD_INDEX"
                                  : "TEST_SHARD_INDEX but not TEST_TOTAL_SHARDS");
    return false;
  }
  const std::optional<int> Count = Decimal(aTotalShards);
  const std::optional<int> Index = Decimal(aShardIndex);
  if (!Index || !Count || *Count < 1 || *Index >= *Count) {
    aError = std::string("the environment's TEST_SHARD_INDEX=\"") + aShardIndex +
             "\" and TEST_TOTAL_SHARDS=\"" + aTotalShards +
             "\" are no shard (whole numbers with 0 <= index < total)";
    return false;
  }
  aShard = TShard{*Index, *Count};
  return true;
}

std::uint64_t TShuffler::Below(std::uint64_t aBound) {
  constexpr std::uint64_t Max = std::numeric_limits<std::uint64_t>::max();
  const std::uint64_t Limit = Max - Max % aBound;
  std::uint64_t Value;
  do
    Value = FEngine();
  while (Value >= Limit);
  return Value % aBound;
}

void TShuffler::Shuffle(std::vector<int>& aItems) {
  for (std::size_t I = aItems.size(); I > 1; --I)
    std::swap(aItems[I - 1], aItems[Below(I)]);
}

std::uint64_t RandomShuffleNumber() {
  std::random_device Device;
  return Device();
}

TRunSelection::TRunSelection(const std::vector<TTestScenario*>& aScenarios,
                             const TNameFilter& aFilter, TShard aShard)
    : FChoosesAll(aFilter.PassesAll() && aShard.Count == 1) {
  int Position = 0;
  for (const TTestScenario* Scenario : aScenarios)
    for (const TUnitTestBase* UnitTest : Scenario->UnitTestList()) {
      ++Position;
      if (!UnitTest->Enabled())
        continue;
      std::vector<bool>& Runs = FRuns[UnitTest];
      Runs.assign(static_cast<std::size_t>(UnitTest->Methods().Count()), false);
      for (int Index = 0; Index < UnitTest->Methods().Count(); ++Index) {
        const std::string& Method = UnitTest->Methods().GetItem(Index)->Name();
        if (!aFilter.Passes(UnitTest->Name() + "." + Method, {Position, Index + 1},
                            ListedForm(UnitTest->Name(), Method)))
          continue;
        if (aShard.Takes(FPassed++)) {
          Runs[static_cast<std::size_t>(Index)] = true;
          ++FChosen;
          if (aFilter.Names(UnitTest->Name() + "." + Method, {Position, Index + 1},
                            ListedForm(UnitTest->Name(), Method)))
            FNamed.emplace(UnitTest, Index);
        }
      }
    }
}

void TRunSelection::SetShuffle(std::optional<std::uint64_t> aNumber) {
  FShuffler.reset();
  FShuffleNumber = aNumber;
  if (aNumber)
    FShuffler.emplace(*aNumber);
}

bool TRunSelection::RunsUnitTest(const TUnitTestBase& aUnitTest) const {
  const auto Found = FRuns.find(&aUnitTest);
  if (Found == FRuns.end())
    return false;
  const std::vector<bool>& Runs = Found->second;
  return Runs.empty() ? FChoosesAll : std::find(Runs.begin(), Runs.end(), true) != Runs.end();
}

bool TRunSelection::Runs(const TUnitTestBase& aUnitTest, int aMethodIndex) const {
  const auto Found = FRuns.find(&aUnitTest);
  return Found != FRuns.end() && aMethodIndex >= 0 &&
         static_cast<std::size_t>(aMethodIndex) < Found->second.size() &&
         Found->second[static_cast<std::size_t>(aMethodIndex)];
}

bool TRunSelection::Named(const TUnitTestBase& aUnitTest, int aMethodIndex) const {
  return FNamed.count({&aUnitTest, aMethodIndex}) != 0;
}

void TRunSelection::OrderUnitTests(const TTestScenario&, std::vector<int>& aOrder) {
  if (FShuffler)
    FShuffler->Shuffle(aOrder);
}

void TRunSelection::OrderMethods(const TUnitTestBase&, std::vector<int>& aOrder) {
  if (FShuffler)
    FShuffler->Shuffle(aOrder);
}

} // namespace Kalvoro
