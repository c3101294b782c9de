// What a run takes and in what order: name filters, shards, shuffled orders.
#include "RunSelection.h"

#include "UnitTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <numeric>
#include <set>

namespace {

using namespace Kalvoro;

// Every method says in Calls that it ran, as "TUnitTest.Method".
std::vector<std::string> Calls;

class TFourTest : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {
    REGISTER_METHOD(TestA);
    REGISTER_METHOD(TestB);
    REGISTER_METHOD(TestC);
    REGISTER_METHOD(TestD);
  }
  void Init() override { Calls.push_back(Name() + ".Init"); }
  void TestA() { Ran("TestA"); }
  void TestB() { Ran("TestB"); }
  void TestC() { Ran("TestC"); }
  void TestD() { Ran("TestD"); }

private:
  void Ran(const char* aMethod) { Calls.push_back(Name() + "." + aMethod); }
};

class TNoMethodsTest : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Register() override {}
};

// Two scenarios: S1 holds TOne, TTwo and a disabled TOff; S2 holds TThree and
// TEmpty, which has no methods.
class RunSelection : public ::testing::Test {
protected:
  RunSelection() {
    for (const char* Name : {"TOne", "TTwo", "TOff", "TThree"}) {
      auto& Test = *Tests.emplace_back(std::make_unique<TFourTest>(&Module));
      Test.SetName(Name);
      Test.Register();
      (Test.Name() == "TThree" ? S2 : S1).AddUnitTest(&Test);
    }
    Tests[2]->SetEnabled(false);
    Empty.SetName("TEmpty");
    S2.AddUnitTest(&Empty);
    Calls.clear();
  }
  ~RunSelection() override {
    S1.RemoveAllUnitTests();
    S2.RemoveAllUnitTests();
  }

  // The methods that a run of both scenarios with aPlan calls.
  std::vector<std::string> Run(TRunPlan* aPlan) {
    Calls.clear();
    for (TTestScenario* Scenario : Scenarios) {
      Scenario->SetRunPlan(aPlan);
      Scenario->Run();
      Scenario->SetRunPlan(nullptr);
    }
    std::vector<std::string> Methods;
    std::copy_if(Calls.begin(), Calls.end(), std::back_inserter(Methods),
                 [](const std::string& aCall) { return aCall.find(".Init") == std::string::npos; });
    return Methods;
  }

  TModule Module{"selection.so"};
  std::vector<std::unique_ptr<TFourTest>> Tests;
  TNoMethodsTest Empty{&Module};
  TTestScenario S1{"S1"};
  TTestScenario S2{"S2"};
  std::vector<TTestScenario*> Scenarios{&S1, &S2};
};

TEST(RunSelectionFilter, GlobsListsAndNegativeParts) {
  EXPECT_TRUE(GlobMatches("TMath.TestAdd", "TMath.TestAdd"));
  EXPECT_FALSE(GlobMatches("TMath.TestAdd", "TMath.TestAdd2"));
  EXPECT_FALSE(GlobMatches("TMath.TestAdd", "XTMath.TestAdd"));
  EXPECT_TRUE(GlobMatches("*", ""));
  EXPECT_TRUE(GlobMatches("T*.*Add", "TMath.TestAdd"));
  EXPECT_TRUE(GlobMatches("T?ath.*", "TMath.X"));
  EXPECT_FALSE(GlobMatches("T?ath.*", "Tath.X"));
  EXPECT_TRUE(GlobMatches("*a*a*a*b", std::string(40, 'a') + "b"));
  EXPECT_FALSE(GlobMatches("*a*a*a*b", std::string(40, 'a')));

  struct TCase {
    const char* Pattern;
    // for TMath.TestAdd at @1.1, TMath.TestDiv at @1.2, TStack.TestPop at @2.1
    std::vector<bool> Passes;
    // passes by its exact name or its position (a test run only by name runs)
    std::vector<bool> Names;
  };
  const std::vector<TCase> Cases{
      {"TMath.TestAdd", {true, false, false}, {true, false, false}},
      {"*", {true, true, true}, {false, false, false}},
      {"TMath.*:TStack.TestPop", {true, true, true}, {false, false, true}},
      {"::TStack.*:", {false, false, true}, {false, false, false}},
      {"*-TMath.TestDiv", {true, false, true}, {false, false, false}},
      {"-*.TestPop", {true, true, false}, {false, false, false}},
      {"TMath.*-*Add:*Div", {false, false, false}, {false, false, false}},
      {"TNone.*", {false, false, false}, {false, false, false}},
      // Positions: "@U.M" with whole numbers from 1; anything else is a glob.
      {"@1.2", {false, true, false}, {false, true, false}},
      {"@2.1:TMath.TestAdd", {true, false, true}, {true, false, true}},
      {"*-@1.1", {false, true, true}, {false, false, false}},
      {"@1", {false, false, false}, {false, false, false}},
      {"@0.1:@1.0:@1.2x:@+1.1", {false, false, false}, {false, false, false}},
      {"@*", {false, false, false}, {false, false, false}},
  };
  for (const TCase& Case : Cases) {
    const TNameFilter Filter(Case.Pattern);
    EXPECT_EQ((std::vector<bool>{Filter.Passes("TMath.TestAdd", {1, 1}),
                                 Filter.Passes("TMath.TestDiv", {1, 2}),
                                 Filter.Passes("TStack.TestPop", {2, 1})}),
              Case.Passes)
        << Case.Pattern;
    EXPECT_EQ((std::vector<bool>{Filter.Names("TMath.TestAdd", {1, 1}),
                                 Filter.Names("TMath.TestDiv", {1, 2}),
                                 Filter.Names("TStack.TestPop", {2, 1})}),
              Case.Names)
        << Case.Pattern;
  }
}

TEST(RunSelectionShard, OptionAndEnvironmentAgreeAndBadValuesAreRefused) {
  TShard Shard;
  std::string Error;
  ASSERT_TRUE(ChooseShard("1/3", nullptr, nullptr, Shard, Error));
  EXPECT_EQ(std::make_pair(Shard.Index, Shard.Count), std::make_pair(1, 3));
  ASSERT_TRUE(ChooseShard("", "3", "1", Shard, Error));
  EXPECT_EQ(std::make_pair(Shard.Index, Shard.Count), std::make_pair(1, 3));
  // The option wins, even over a bad environment.
  ASSERT_TRUE(ChooseShard("0/2", "x", "9", Shard, Error));
  EXPECT_EQ(std::make_pair(Shard.Index, Shard.Count), std::make_pair(0, 2));
  ASSERT_TRUE(ChooseShard("", "", nullptr, Shard, Error));
  EXPECT_EQ(std::make_pair(Shard.Index, Shard.Count), std::make_pair(0, 1));

  for (const char* Bad : {"3/3", "1/0", "-1/2", "a/2", "1/2x", " 1/2", "1", "1/2/3", "/2",
                          "99999999999/99999999999"}) {
    Error.clear();
    EXPECT_FALSE(ChooseShard(Bad, nullptr, nullptr, Shard, Error)) << Bad;
    EXPECT_NE(Error.find("--shard"), std::string::npos) << Bad;
  }
  const std::vector<std::pair<const char*, const char*>> BadEnvironment{
      {"3", nullptr}, {nullptr, "0"}, {"3", "3"}, {"0", "0"}, {"two", "1"}, {"2", "+1"}};
  for (const auto& [Total, Index] : BadEnvironment) {
    Error.clear();
    EXPECT_FALSE(ChooseShard("", Total, Index, Shard, Error));
    EXPECT_NE(Error.find("TEST_"), std::string::npos) << Error;
  }
}

TEST_F(RunSelection, ShardsTogetherRunEveryChosenMethodOnceAndAreBalanced) {
  const std::vector<std::string> All = Run(nullptr);
  ASSERT_EQ(All.size(), 12u); // TOff is disabled
  for (const char* Pattern : {"", "*-TTwo.TestB:TThree.TestD"})
    for (int Count = 1; Count <= 13; ++Count) {
      std::multiset<std::string> Union;
      std::size_t Smallest = All.size(), Largest = 0;
      for (int Index = 0; Index < Count; ++Index) {
        TRunSelection Selection(Scenarios, TNameFilter(Pattern), TShard{Index, Count});
        const std::vector<std::string> Ran = Run(&Selection);
        EXPECT_EQ(static_cast<int>(Ran.size()), Selection.Chosen());
        Union.insert(Ran.begin(), Ran.end());
        Smallest = std::min(Smallest, Ran.size());
        Largest = std::max(Largest, Ran.size());
      }
      std::multiset<std::string> Expected;
      for (const std::string& Method : All)
        if (TNameFilter(Pattern).Passes(Method))
          Expected.insert(Method);
      EXPECT_EQ(Union, Expected) << Pattern << " in " << Count; // whole and disjoint
      EXPECT_LE(Largest - Smallest, 1u) << Pattern << " in " << Count;
    }
}

TEST_F(RunSelection, LeftOutMethodsKeepNotRunAndTheirInitDoesNotRun) {
  TRunSelection Selection(Scenarios, TNameFilter("TOne.TestB:TThree.*-*D"), TShard{});
  EXPECT_EQ(Selection.Passed(), 4);
  Run(&Selection);
  EXPECT_EQ(Calls, (std::vector<std::string>{"TOne.Init", "TOne.TestB", "TThree.Init",
                                             "TThree.TestA", "TThree.Init", "TThree.TestB",
                                             "TThree.Init", "TThree.TestC"}));
  EXPECT_EQ(Tests[0]->Methods().GetItem(0)->TestResult(), tcrTodo);
  EXPECT_EQ(Tests[0]->Methods().GetItem(1)->TestResult(), tcrSuccess);
  EXPECT_EQ(Tests[1]->TestResult(), tcrTodo);
  EXPECT_EQ(S1.GetSummary().MethodTodo(), 11);

  EXPECT_EQ(Empty.TestResult(), tcrTodo); // it matches no name

  TRunSelection None(Scenarios, TNameFilter("TNothing.*"), TShard{});
  EXPECT_TRUE(Run(&None).empty());
  EXPECT_EQ(None.Passed(), 0);
  EXPECT_TRUE(Calls.empty());

  // Shuffling alone leaves out nothing, a unit test without methods neither.
  TRunSelection Everything(Scenarios, TNameFilter(), TShard{});
  Everything.SetShuffle(3);
  EXPECT_EQ(Run(&Everything).size(), 12u);
  EXPECT_EQ(Empty.TestResult(), tcrSuccess);
}

TEST_F(RunSelection, ShuffledOrdersComeBackFromTheirNumber) {
  std::vector<int> Items(50);
  std::iota(Items.begin(), Items.end(), 0);
  std::vector<int> First = Items, Again = Items, Other = Items;
  TShuffler(7).Shuffle(First);
  TShuffler(7).Shuffle(Again);
  TShuffler(8).Shuffle(Other);
  EXPECT_EQ(First, Again);
  EXPECT_NE(First, Other);
  EXPECT_NE(First, Items);
  EXPECT_TRUE(std::is_permutation(First.begin(), First.end(), Items.begin()));
  // The order is our own drawing over the standard engine: the same on every
  // standard library.
  std::vector<int> Five{0, 1, 2, 3, 4};
  TShuffler(1).Shuffle(Five);
  EXPECT_EQ(Five, (std::vector<int>{1, 4, 0, 2, 3}));

  const std::vector<std::string> InOrder = Run(nullptr);
  TRunSelection Selection(Scenarios, TNameFilter(), TShard{});
  std::map<std::uint64_t, std::vector<std::string>> Orders;
  for (std::uint64_t Number : {11u, 12u, 11u}) {
    Selection.SetShuffle(Number);
    const std::vector<std::string> Ran = Run(&Selection);
    EXPECT_TRUE(std::is_permutation(Ran.begin(), Ran.end(), InOrder.begin(), InOrder.end()));
    if (Orders.count(Number) != 0) {
      EXPECT_EQ(Ran, Orders[Number]);
    }
    Orders[Number] = Ran;
  }
  EXPECT_NE(Orders[11], Orders[12]);
  EXPECT_NE(Orders[11], InOrder);
  Selection.SetShuffle(std::nullopt);
  EXPECT_EQ(Run(&Selection), InOrder);
}

} // namespace
