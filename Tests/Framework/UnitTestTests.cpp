// Unit tests and test methods: checks, reports, the three guarded phases and
// the messages of a run.
#include "FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace Kalvoro;
using KalvoroTest::TRecorder;
using KalvoroTest::TScriptedTest;
using TLines = std::vector<std::string>;

namespace {

// "Type(S,T,Method)" for the unit test T in the scenario S.
std::string P(const std::string& aType, const std::string& aMethod = "") {
  return aType + "(S,T," + aMethod + ")";
}

// The progress lines of a method whose phases all pass, around aInner.
TLines PassingMethod(const std::string& aMethod, const TLines& aInner = {}) {
  TLines Lines{P("InitStart", "Init"), P("InitFinish", "Init"), P("MethodStart", aMethod)};
  Lines.insert(Lines.end(), aInner.begin(), aInner.end());
  Lines.insert(Lines.end(),
               {P("MethodFinish", aMethod), P("ExitStart", "Exit"), P("ExitFinish", "Exit")});
  return Lines;
}

std::vector<TUnitTestResult> MethodResults(const TUnitTestBase& aTest) {
  std::vector<TUnitTestResult> Results;
  for (const TUnitTestMethod* Method : aTest.Methods())
    Results.push_back(Method->TestResult());
  return Results;
}

void Raise(TScriptedTest&) {
  throw std::runtime_error("boom");
}

} // namespace

class FrameworkUnitTest : public ::testing::Test {
protected:
  void SetUp() override {
    Test.SetName("T");
    Scenario.AddStateNotificationHandler(Recorder.Event());
  }
  void Prepare(std::vector<TScriptedTest::TMethodScript> aScripts) {
    Test.Scripts = std::move(aScripts);
    Test.Register();
    Scenario.AddUnitTest(&Test);
  }

  TModule Module{"/modules/Probe.so"};
  TTestScenario Scenario{"S"};
  TRecorder Recorder;
  TScriptedTest Test{&Module};
};

TEST_F(FrameworkUnitTest, ScenarioRunSendsTheFullSequence) {
  std::vector<bool> Returned;
  Prepare({{"TestPass",
            [&](TScriptedTest& aTest) {
              Returned.push_back(aTest.Check(true, "holds"));
              aTest.Report("note");
            }},
           {"TestFail", [&](TScriptedTest& aTest) {
              Returned.push_back(aTest.Check(false, std::string("broken")));
              aTest.Report("goes on");
            }}});
  Scenario.Run();

  TLines Expected{"ScenarioStart(S,,)", P("UnitTestStart")};
  for (const auto& Lines :
       {PassingMethod("TestPass", {"Check+ holds", "Report note"}),
        PassingMethod("TestFail", {"Check- broken (S,T,TestFail)", "Report goes on"})})
    Expected.insert(Expected.end(), Lines.begin(), Lines.end());
  Expected.insert(Expected.end(), {P("UnitTestFinish"), "ScenarioFinish(S,,)"});
  EXPECT_EQ(Recorder.Lines, Expected);
  EXPECT_EQ(Returned, (std::vector<bool>{true, false}));
  EXPECT_EQ(MethodResults(Test), (std::vector<TUnitTestResult>{tcrSuccess, tcrFailure}));
  EXPECT_EQ(Test.TestResult(), tcrFailure);
  EXPECT_EQ(Test.CurrentMethodIndex(), -1);
}

TEST_F(FrameworkUnitTest, InitRaisingSkipsTheMethodButNotExit) {
  Test.OnInit = Raise;
  bool ExitRan = false;
  Test.OnExit = [&](TScriptedTest&) { ExitRan = true; };
  Prepare({{"TestM", nullptr}});
  Test.Run();
  EXPECT_EQ(Recorder.Lines,
            (TLines{P("UnitTestStart"), P("InitStart", "Init"), "Exception boom (S,T,Init)",
                    P("InitFinish", "Init"), P("ExitStart", "Exit"), P("ExitFinish", "Exit"),
                    P("UnitTestFinish")}));
  EXPECT_TRUE(Test.Called.empty());
  EXPECT_TRUE(ExitRan);
  EXPECT_EQ(Test.Methods()[0]->TestResult(), tcrException);
  EXPECT_EQ(Test.TestResult(), tcrException);
}

TEST_F(FrameworkUnitTest, FirstOutcomeDecidesAndEveryOutcomeIsReported) {
  // Failed check, then an error in the method: failure, both reported.
  // An error in the method, then a failed check in Exit: exception, both reported.
  Test.OnExit = [](TScriptedTest& aTest) {
    if (aTest.CurrentMethodIndex() == 1)
      aTest.Check(false, "exit check");
  };
  Prepare({{"TestCheckThenRaise",
            [](TScriptedTest& aTest) {
              aTest.Check(false, "first");
              Raise(aTest);
            }},
           {"TestRaiseThenCheck", Raise}});
  Test.Run();
  EXPECT_EQ(MethodResults(Test), (std::vector<TUnitTestResult>{tcrFailure, tcrException}));
  const TLines Expected{P("MethodStart", "TestCheckThenRaise"),
                        "Check- first (S,T,TestCheckThenRaise)",
                        "Exception boom (S,T,TestCheckThenRaise)",
                        P("MethodFinish", "TestCheckThenRaise"),
                        P("ExitStart", "Exit"),
                        P("ExitFinish", "Exit"),
                        P("InitStart", "Init"),
                        P("InitFinish", "Init"),
                        P("MethodStart", "TestRaiseThenCheck"),
                        "Exception boom (S,T,TestRaiseThenCheck)",
                        P("MethodFinish", "TestRaiseThenCheck"),
                        P("ExitStart", "Exit"),
                        "Check- exit check (S,T,TestRaiseThenCheck)",
                        P("ExitFinish", "Exit")};
  ASSERT_GE(Recorder.Lines.size(), Expected.size() + 4);
  EXPECT_EQ(TLines(Recorder.Lines.begin() + 3, Recorder.Lines.end() - 1), Expected);
}

TEST_F(FrameworkUnitTest, ExitRaisingFailsAPassingMethod) {
  Test.OnExit = [](TScriptedTest&) { throw std::runtime_error("cleanup"); };
  Prepare({{"TestM", [](TScriptedTest& aTest) { aTest.Check(true, "fine"); }}});
  Test.Run();
  EXPECT_EQ(Recorder.CountOf("Exception cleanup (S,T,Exit)"), 1);
  EXPECT_EQ(Recorder.CountOf("Check+ fine"), 1);
  EXPECT_EQ(Test.Methods()[0]->TestResult(), tcrException);
}

TEST_F(FrameworkUnitTest, UnitTestTakesTheWorstMethodResult) {
  Prepare({{"TestPass", nullptr}, {"TestRaise", Raise}, {"TestFail", [](TScriptedTest& aTest) {
                                                           aTest.Check(false, "no");
                                                         }}});
  Test.Run();
  EXPECT_EQ(MethodResults(Test),
            (std::vector<TUnitTestResult>{tcrSuccess, tcrException, tcrFailure}));
  EXPECT_EQ(Test.TestResult(), tcrException);
  EXPECT_EQ(Test.Called, (TLines{"TestPass", "TestRaise", "TestFail"}));

  Test.ResetResults();
  EXPECT_EQ(MethodResults(Test), (std::vector<TUnitTestResult>{tcrTodo, tcrTodo, tcrTodo}));
  EXPECT_EQ(Test.TestResult(), tcrTodo);
}

TEST_F(FrameworkUnitTest, UnitTestWithoutMethodsSucceeds) {
  Prepare({});
  Test.RunMethod(nullptr);
  EXPECT_TRUE(Recorder.Lines.empty());
  Test.Run();
  EXPECT_EQ(Recorder.Lines, (TLines{P("UnitTestStart"), P("UnitTestFinish")}));
  EXPECT_EQ(Test.TestResult(), tcrSuccess);
}

TEST_F(FrameworkUnitTest, UnnamedMethodsCarryAnEmptyName) {
  Prepare({{"", Raise}});
  Test.RegisterMethod(TUnitTestProc{}, "no function");
  ASSERT_EQ(Test.Methods().Count(), 1);
  EXPECT_EQ(Test.Methods()[0]->Name(), "");
  Test.Run();
  EXPECT_EQ(Recorder.CountOf(P("MethodStart")), 1);
  EXPECT_EQ(Recorder.CountOf("Exception boom (S,T,)"), 1);
}

TEST_F(FrameworkUnitTest, WithoutScenarioRunReportAndCheckRaise) {
  TScriptedTest Lone(&Module);
  bool InitRan = false;
  Lone.OnInit = [&](TScriptedTest&) { InitRan = true; };
  Lone.Scripts = {{"TestM", nullptr}};
  Lone.Register();
  // RunMethod does nothing at all without a scenario.
  Lone.RunMethod(Lone.Methods()[0]);
  EXPECT_FALSE(InitRan);
  EXPECT_EQ(Lone.Methods()[0]->TestResult(), tcrTodo);
  try {
    Lone.Run();
    ADD_FAILURE() << "Run without a scenario";
  } catch (const Exception& Error) {
    EXPECT_STREQ(Error.what(), "TestScenario not assigned");
  }
  EXPECT_EQ(Lone.TestResult(), tcrException);
  EXPECT_THROW(Lone.Report("x"), Exception);

  // A handler takes the unit test out of its scenario as its method starts;
  // the method's own Check then raises and marks the method.
  Recorder.OnMessage = [&](const TCustomMessage& aMessage) {
    if (KalvoroTest::Describe(aMessage) == P("MethodStart", "TestM"))
      Scenario.RemoveUnitTest(&Test);
  };
  std::string Caught;
  TUnitTestResult ResultAfterCheck = tcrTodo;
  bool ExitRan = false;
  Test.OnExit = [&](TScriptedTest&) { ExitRan = true; };
  Prepare({{"TestM", [&](TScriptedTest& aTest) {
              try {
                aTest.Check(true, "unseen");
              } catch (const Exception& Error) {
                Caught = Error.what();
              }
              ResultAfterCheck = aTest.Methods()[0]->TestResult();
            }}});
  Test.Run();
  EXPECT_EQ(Caught, "TestScenario not assigned");
  EXPECT_EQ(ResultAfterCheck, tcrException);
  EXPECT_TRUE(ExitRan);
  EXPECT_EQ(Test.TestScenario(), nullptr);
  EXPECT_EQ(Recorder.Lines.back(), P("MethodStart", "TestM"));
}

TEST_F(FrameworkUnitTest, CheckOutsideARunRaisesTheListIndexError) {
  Prepare({{"TestM", nullptr}});
  TScriptedTest Lone(&Module);
  TTestScenario Silent("Silent");
  TScriptedTest Unobserved(&Module);
  Silent.AddUnitTest(&Unobserved);
  // With and without a handler for checks, in a scenario and in none.
  for (TUnitTestBase* UnitTest :
       {static_cast<TUnitTestBase*>(&Test), static_cast<TUnitTestBase*>(&Lone),
        static_cast<TUnitTestBase*>(&Unobserved)}) {
    for (bool Condition : {true, false}) {
      try {
        UnitTest->Check(Condition, "outside");
        ADD_FAILURE() << "Check outside a run returned";
      } catch (const EAssertionFailed& Error) {
        ADD_FAILURE() << Error.what();
      } catch (const Exception& Error) {
        EXPECT_NE(std::string(Error.what()).find("index"), std::string::npos) << Error.what();
      }
    }
  }
  EXPECT_TRUE(Recorder.Lines.empty());
}

TEST_F(FrameworkUnitTest, HandlerRaisingDuringAPhaseIsCaughtByThatPhase) {
  struct TCase {
    std::string RaiseOn;
    TLines Expected;
    bool MethodCalled;
  };
  const TCase Cases[] = {
      {P("InitFinish", "Init"),
       {P("InitStart", "Init"), P("InitFinish", "Init"), "Exception handler raised (S,T,Init)",
        P("InitFinish", "Init"), P("ExitStart", "Exit"), P("ExitFinish", "Exit")},
       false},
      {P("MethodStart", "TestM"),
       {P("InitStart", "Init"), P("InitFinish", "Init"), P("MethodStart", "TestM"),
        "Exception handler raised (S,T,TestM)", P("MethodFinish", "TestM"), P("ExitStart", "Exit"),
        P("ExitFinish", "Exit")},
       false},
      {P("ExitStart", "Exit"),
       {P("InitStart", "Init"), P("InitFinish", "Init"), P("MethodStart", "TestM"),
        P("MethodFinish", "TestM"), P("ExitStart", "Exit"), "Exception handler raised (S,T,Exit)",
        P("ExitFinish", "Exit")},
       true},
  };
  Prepare({{"TestM", nullptr}});
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.RaiseOn);
    Recorder.Lines.clear();
    Test.Called.clear();
    Recorder.RaiseOn = Case.RaiseOn;
    Test.RunMethod(Test.Methods()[0]);
    EXPECT_EQ(Recorder.Lines, Case.Expected);
    EXPECT_EQ(Test.Called.size(), Case.MethodCalled ? 1u : 0u);
    EXPECT_EQ(Test.Methods()[0]->TestResult(), tcrException);
  }
}

TEST_F(FrameworkUnitTest, NamesAreCutTo255Characters) {
  const std::string Long(300, 'n');
  Test.SetName(Long);
  EXPECT_EQ(Test.Name(), Long.substr(0, 255));
  Prepare({{Long, nullptr}});
  EXPECT_EQ(Test.Methods()[0]->Name().size(), 255u);
  EXPECT_EQ(Test.GetFullName(), ("Probe.so|" + Long).substr(0, 255));
  TTestScenario LongScenario(Long);
  EXPECT_EQ(LongScenario.Name().size(), 255u);
  LongScenario.SetName(Long + "x");
  EXPECT_EQ(LongScenario.Name().size(), 255u);
}

TEST_F(FrameworkUnitTest, FindByNameIsExactAndFindsTheFirst) {
  TScriptedTest Alpha(&Module), Beta(&Module), AlphaAgain(&Module);
  Alpha.SetName("TAlpha");
  Beta.SetName("TBeta");
  AlphaAgain.SetName("TAlpha");
  TUnitTestList List(false);
  EXPECT_EQ(List.FindByName("TAlpha"), nullptr);
  List.Add(&Alpha);
  List.Add(&Beta);
  List.Add(&AlphaAgain);
  EXPECT_EQ(List.FindByName("TAlpha"), &Alpha);
  EXPECT_EQ(List.FindByName("TBeta"), &Beta);
  EXPECT_EQ(List.FindByName("talpha"), nullptr);
  EXPECT_EQ(List.FindByName("TAlph"), nullptr);
  EXPECT_EQ(List.FindByName("TAlphaX"), nullptr);
  EXPECT_EQ(List.Remove(&Beta), 1);
  EXPECT_EQ(List.Remove(&Beta), -1);
  EXPECT_EQ(List.IndexOf(&AlphaAgain), 1);
}

TEST_F(FrameworkUnitTest, PreconditionsAreAssertedWithTheirUnit) {
  auto ExpectAssertion = [](const std::function<void()>& aCall, const std::string& aUnit) {
    try {
      aCall();
      ADD_FAILURE() << "no assertion for " << aUnit;
    } catch (const EAssertionFailed& Error) {
      EXPECT_EQ(std::string(Error.what()).rfind("Assertion failure (" + aUnit + ", line ", 0), 0u)
          << Error.what();
    }
  };
  ExpectAssertion([] { TScriptedTest Orphan(nullptr); }, "Sources/Framework/UnitTestBase.cpp");
  ExpectAssertion([] { TUnitTestMethod Method(TUnitTestProc{}, "x"); },
                  "Sources/Framework/UnitTestMethod.cpp");
  TUnitTestList List(false);
  ExpectAssertion([&] { List.Add(nullptr); }, "Sources/Framework/UnitTestMethod.h");
  EXPECT_THROW(List.Insert(0, nullptr), EAssertionFailed);
  EXPECT_THROW(List.Remove(nullptr), EAssertionFailed);
  // However the compiler was given the file, the unit is its path in the tree.
  for (const std::string& Spelling :
       {std::string(KALVORO_SOURCE_DIR) + "/Sources/Unit.cpp",
        std::string("../../Sources/Unit.cpp"), std::string("Sources/Unit.cpp")})
    ExpectAssertion([&] { AssertionFailed(Spelling.c_str(), 7); }, "Sources/Unit.cpp");
  // An index out of range is the list's index error, not an assertion.
  try {
    List.GetItem(0);
    ADD_FAILURE() << "GetItem on an empty list";
  } catch (const EAssertionFailed&) {
    ADD_FAILURE() << "index error reported as an assertion";
  } catch (const Exception&) {
  }
  EXPECT_THROW(Scenario.GetUnitTest(0), Exception);
}
