// Test scenarios: enabled state, membership, runs and the summary.
#include "FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace Kalvoro;
using KalvoroTest::TRecorder;
using KalvoroTest::TScriptedTest;

namespace {

void Fail(TScriptedTest& aTest) {
  aTest.Check(false, "fails");
}

// All counters of a summary, in field order, and whether it is empty.
std::vector<int> Counters(const TSummary& aSummary) {
  return {aSummary.TotalUnitTests(),  aSummary.UnitTestTodo(),      aSummary.UnitTestSuccess(),
          aSummary.UnitTestFailure(), aSummary.UnitTestException(), aSummary.TotalMethods(),
          aSummary.MethodTodo(),      aSummary.MethodSuccess(),     aSummary.MethodFailure(),
          aSummary.MethodException(), aSummary.Empty() ? 1 : 0};
}

} // namespace

class FrameworkScenario : public ::testing::Test {
protected:
  // A registered unit test named aName with one method per script.
  TScriptedTest& Make(const std::string& aName,
                      std::vector<TScriptedTest::TMethodScript> aScripts = {}) {
    auto& Test = *Tests.emplace_back(std::make_unique<TScriptedTest>(&Module));
    Test.SetName(aName);
    Test.Scripts = std::move(aScripts);
    Test.Register();
    return Test;
  }

  TModule Module{"Scenario.so"};
  std::vector<std::unique_ptr<TScriptedTest>> Tests;
  TTestScenario Scenario{"S"};
};

TEST_F(FrameworkScenario, EnabledFollowsTheUnitTests) {
  EXPECT_TRUE(Scenario.Enabled());
  Scenario.UpdateEnabledState();
  EXPECT_FALSE(Scenario.Enabled());
  Scenario.SetEnabled(true);
  EXPECT_TRUE(Scenario.Enabled());

  auto& A = Make("TA");
  auto& B = Make("TB");
  Scenario.SetEnabled(false);
  Scenario.AddUnitTest(&A);
  EXPECT_EQ(A.TestScenario(), &Scenario);
  EXPECT_TRUE(A.Enabled());
  EXPECT_TRUE(Scenario.Enabled());
  Scenario.AddUnitTest(&B);

  A.SetEnabled(false);
  EXPECT_TRUE(Scenario.Enabled());
  B.SetEnabledWithoutUpdate(false);
  EXPECT_TRUE(Scenario.Enabled());
  B.SetEnabled(false);
  EXPECT_FALSE(Scenario.Enabled());

  A.SetEnabled(true);
  EXPECT_TRUE(Scenario.Enabled());
  Scenario.RemoveUnitTest(&A);
  EXPECT_FALSE(A.Enabled());
  EXPECT_EQ(A.TestScenario(), nullptr);
  EXPECT_FALSE(Scenario.Enabled());
  EXPECT_EQ(Scenario.UnitTestIndexOf(&A), -1);
  EXPECT_EQ(Scenario.UnitTestIndexOf(&B), 0);

  Scenario.AddUnitTest(&A);
  Scenario.SetEnabled(false);
  EXPECT_FALSE(A.Enabled());
  EXPECT_FALSE(B.Enabled());
  EXPECT_FALSE(Scenario.Enabled());
  Scenario.SetEnabled(true);
  EXPECT_TRUE(A.Enabled() && B.Enabled() && Scenario.Enabled());

  Scenario.AddUnitTest(nullptr);
  Scenario.RemoveUnitTest(nullptr);
  EXPECT_EQ(Scenario.GetUnitTestCount(), 2);
}

TEST_F(FrameworkScenario, RunOfAnEmptyScenario) {
  TRecorder Recorder;
  Scenario.AddStateNotificationHandler(Recorder.Event());
  Scenario.Run();
  EXPECT_EQ(Recorder.Lines,
            (std::vector<std::string>{"ScenarioStart(S,,)", "ScenarioFinish(S,,)"}));
  EXPECT_EQ(Counters(Scenario.GetSummary()), std::vector<int>(11, 0));

  Scenario.RemoveStateNotificationHandler(Recorder.Event());
  Scenario.Run();
  EXPECT_EQ(Recorder.Lines.size(), 2u);
}

TEST_F(FrameworkScenario, SummaryCountsEnabledAndDisabledUnitTests) {
  auto& Run = Make("TRun", {{"TestPass", nullptr}, {"TestFail", Fail}});
  auto& Skipped = Make("TSkipped", {{"TestA", nullptr}, {"TestB", nullptr}, {"TestC", nullptr}});
  Scenario.AddUnitTest(&Run);
  Scenario.AddUnitTest(&Skipped);
  Skipped.SetEnabled(false);
  Scenario.Run();
  EXPECT_EQ(Skipped.Called.size(), 0u);
  EXPECT_EQ(Skipped.TestResult(), tcrTodo);
  //                  Total Todo Succ Fail Exc  Total Todo Succ Fail Exc  Empty
  EXPECT_EQ(Counters(Scenario.GetSummary()), (std::vector<int>{2, 1, 0, 1, 0, 5, 3, 1, 1, 0, 0}));

  // A new run starts from cleared results: the unit test that ran last time
  // and is now disabled counts as not run.
  Run.SetEnabled(false);
  Skipped.SetEnabled(true);
  Scenario.Run();
  EXPECT_EQ(Counters(Scenario.GetSummary()), (std::vector<int>{2, 1, 1, 0, 0, 5, 2, 3, 0, 0, 0}));

  TSummary Summary;
  Summary.Summarize(&Scenario);
  EXPECT_EQ(Counters(Summary), Counters(Scenario.GetSummary()));
  Summary.Summarize(nullptr);
  EXPECT_EQ(Counters(Summary), (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
}

// Runs only the methods it names, unit tests and methods in reverse order.
class TReversePlan : public TRunPlan {
public:
  std::vector<std::string> Chosen; // "TUnitTest.Method"
  bool RunsUnitTest(const TUnitTestBase& aUnitTest) const override {
    for (int Index = 0; Index < aUnitTest.Methods().Count(); ++Index)
      if (Runs(aUnitTest, Index))
        return true;
    return false;
  }
  bool Runs(const TUnitTestBase& aUnitTest, int aIndex) const override {
    const std::string Name = aUnitTest.Name() + "." + aUnitTest.Methods().GetItem(aIndex)->Name();
    return std::find(Chosen.begin(), Chosen.end(), Name) != Chosen.end();
  }
  void OrderUnitTests(const TTestScenario&, std::vector<int>& aOrder) override {
    std::reverse(aOrder.begin(), aOrder.end());
  }
  void OrderMethods(const TUnitTestBase&, std::vector<int>& aOrder) override {
    std::reverse(aOrder.begin(), aOrder.end());
  }
};

TEST_F(FrameworkScenario, APlanChoosesAndOrdersWhatRuns) {
  std::vector<std::string> Calls;
  auto Record = [&Calls](TScriptedTest& aTest, const std::string& aWhat) {
    Calls.push_back(aTest.Name() + "." + aWhat);
  };
  auto& A = Make("TA", {{"A1", nullptr}, {"A2", nullptr}, {"A3", nullptr}});
  auto& B = Make("TB", {{"B1", nullptr}});
  auto& C = Make("TC", {{"C1", nullptr}});
  for (TScriptedTest* Test : {&A, &B, &C}) {
    Test->OnInit = [&](TScriptedTest& aTest) { Record(aTest, "Init"); };
    Test->OnExit = [&](TScriptedTest& aTest) { Record(aTest, "Exit"); };
    Scenario.AddUnitTest(Test);
  }
  TReversePlan Plan;
  Plan.Chosen = {"TA.A1", "TA.A3", "TC.C1"};
  Scenario.SetRunPlan(&Plan);
  TRecorder Recorder;
  Scenario.AddStateNotificationHandler(Recorder.Event());
  Scenario.Run();
  EXPECT_EQ(Calls, (std::vector<std::string>{"TC.Init", "TC.Exit", "TA.Init", "TA.Exit", "TA.Init",
                                             "TA.Exit"}));
  EXPECT_EQ(A.Called, (std::vector<std::string>{"A3", "A1"}));
  // What did not run keeps its "not run" result; TB never starts.
  EXPECT_EQ(A.Methods().GetItem(1)->TestResult(), tcrTodo);
  EXPECT_EQ(A.TestResult(), tcrSuccess);
  EXPECT_EQ(B.TestResult(), tcrTodo);
  EXPECT_EQ(Recorder.CountOf("UnitTestStart(S,TA,)"), 1);
  EXPECT_EQ(Recorder.CountOf("UnitTestStart(S,TB,)"), 0);
  EXPECT_EQ(Counters(Scenario.GetSummary()), (std::vector<int>{3, 1, 2, 0, 0, 5, 2, 3, 0, 0, 0}));

  Scenario.SetRunPlan(nullptr);
  Calls.clear();
  Scenario.Run();
  EXPECT_EQ(Calls.size(), 10u);
  EXPECT_EQ(Calls.front(), "TA.Init");
}

TEST_F(FrameworkScenario, RunIgnoresTheScenariosOwnEnabled) {
  auto& A = Make("TA", {{"TestA", nullptr}});
  Scenario.AddUnitTest(&A);
  Scenario.SetEnabled(false);
  A.SetEnabledWithoutUpdate(true);
  ASSERT_FALSE(Scenario.Enabled());
  Scenario.Run();
  EXPECT_EQ(A.Called.size(), 1u);
  EXPECT_EQ(A.TestResult(), tcrSuccess);
}

TEST_F(FrameworkScenario, HandlerErrorAtScenarioStartLeavesRun) {
  auto& A = Make("TA", {{"TestA", nullptr}});
  Scenario.AddUnitTest(&A);
  Scenario.Run();
  TRecorder Recorder;
  Recorder.RaiseOn = "ScenarioStart(S,,)";
  Scenario.AddStateNotificationHandler(Recorder.Event());
  EXPECT_THROW(Scenario.Run(), Exception);
  EXPECT_EQ(A.Called.size(), 1u);
  // The results of the previous run are still there.
  EXPECT_EQ(A.TestResult(), tcrSuccess);
  EXPECT_FALSE(Scenario.GetSummary().Empty());
}

TEST_F(FrameworkScenario, RemoveAllUnitTestsDetachesAndDisables) {
  auto& A = Make("TA");
  auto& B = Make("TB");
  Scenario.AddUnitTest(&A);
  Scenario.AddUnitTest(&B);
  ASSERT_TRUE(Scenario.Enabled());
  Scenario.RemoveAllUnitTests();
  EXPECT_EQ(Scenario.GetUnitTestCount(), 0);
  EXPECT_FALSE(Scenario.Enabled());
  for (const TScriptedTest* Test : {&A, &B}) {
    EXPECT_FALSE(Test->Enabled());
    EXPECT_EQ(Test->TestScenario(), nullptr);
  }
}

TEST_F(FrameworkScenario, RemoveUnitTestsTakesOutOnlyThoseItHolds) {
  auto& A = Make("TA");
  auto& B = Make("TB");
  auto& C = Make("TC");
  auto& Elsewhere = Make("TD");
  TTestScenario Other("Other");
  Other.AddUnitTest(&Elsewhere);
  for (TScriptedTest* Test : {&A, &B, &C})
    Scenario.AddUnitTest(Test);
  B.SetEnabled(false);
  Scenario.RemoveUnitTests({&C, &Elsewhere, &A});
  ASSERT_EQ(Scenario.GetUnitTestCount(), 1);
  EXPECT_EQ(Scenario.GetUnitTest(0), &B);
  EXPECT_FALSE(Scenario.Enabled());
  for (const TScriptedTest* Test : {&A, &C}) {
    EXPECT_FALSE(Test->Enabled());
    EXPECT_EQ(Test->TestScenario(), nullptr);
  }
  EXPECT_EQ(B.TestScenario(), &Scenario);
  EXPECT_EQ(Elsewhere.TestScenario(), &Other);
  EXPECT_TRUE(Elsewhere.Enabled());
  EXPECT_EQ(Other.GetUnitTestCount(), 1);
}

TEST_F(FrameworkScenario, DestroyedScenarioDetachesItsUnitTests) {
  auto& A = Make("TA", {{"TestA", nullptr}});
  auto Doomed = std::make_unique<TTestScenario>("Doomed");
  Doomed->AddUnitTest(&A);
  Doomed.reset();
  EXPECT_EQ(A.TestScenario(), nullptr);
  EXPECT_FALSE(A.Enabled());
  // The unit test can join another scenario and run there.
  Scenario.AddUnitTest(&A);
  Scenario.Run();
  EXPECT_EQ(A.TestResult(), tcrSuccess);
}

TEST_F(FrameworkScenario, DestroyedUnitTestLeavesItsScenario) {
  auto& A = Make("TA");
  auto& B = Make("TB");
  Scenario.AddUnitTest(&A);
  Scenario.AddUnitTest(&B);
  B.SetEnabled(false);
  Tests.erase(Tests.begin());
  EXPECT_EQ(Scenario.GetUnitTestCount(), 1);
  EXPECT_EQ(Scenario.GetUnitTest(0), &B);
  EXPECT_FALSE(Scenario.Enabled());
}
