// SIGINT and SIGTERM during a run: with a scope open they end the running
// phase and stop the run; without one they are left alone; a second signal
// ends the process.
#include "CrashGuard.h"
#include "FrameworkTestSupport.h"
#include "Interruption.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

using namespace Kalvoro;
using KalvoroTest::TRecorder;
using KalvoroTest::TScriptedTest;

namespace {

void Sleep(TScriptedTest&) {
  std::this_thread::sleep_for(std::chrono::seconds(30));
}

void BusyLoop(TScriptedTest&) {
  volatile unsigned long Counter = 0;
  for (;;)
    Counter = Counter + 1;
}

void Pass(TScriptedTest& aTest) {
  aTest.Check(true, "passes");
}

class FrameworkInterruption : public ::testing::Test {
protected:
  void SetUp() override {
    Test.SetName("T");
    Other.SetName("U");
    Other.Scripts = {{"TestOther", Pass}};
    Other.Register();
    Scenario.AddStateNotificationHandler(Recorder.Event());
  }
  void Prepare(std::vector<TScriptedTest::TMethodScript> aScripts) {
    Test.Scripts = std::move(aScripts);
    Test.Register();
    Scenario.AddUnitTest(&Test);
    Scenario.AddUnitTest(&Other);
  }
  void TearDown() override { Scenario.RemoveAllUnitTests(); }

  TModule Module{"/modules/Probe.so"};
  TTestScenario Scenario{"S"};
  TRecorder Recorder;
  TScriptedTest Test{&Module};
  TScriptedTest Other{&Module};
};

// Sends aSignal to aThread after a short wait, from a thread of its own.
std::thread SignalLater(pthread_t aThread, int aSignal) {
  return std::thread([aThread, aSignal] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    pthread_kill(aThread, aSignal);
  });
}

} // namespace

// A sleep and a busy loop end as "Interrupted": on the run's thread, and when
// the signal lands on another thread, which passes it on. Exit still runs, the
// methods and unit tests after it keep "not run", and the scope forgets it.
TEST_F(FrameworkInterruption, SignalEndsTheRunningPhaseAndStopsTheRun) {
  bool ExitRan = false;
  Test.OnExit = [&](TScriptedTest&) { ExitRan = true; };
  Prepare({{"TestSleep", Sleep}, {"TestBusy", BusyLoop}, {"TestAfter", Pass}});
  struct TCase {
    int Signal;
    bool OtherThread;
    const char* Text;
  };
  for (const TCase Case :
       {TCase{SIGINT, false, "Exception Interrupted (SIGINT) (S,T,TestSleep)"},
        TCase{SIGTERM, true, "Exception Interrupted (SIGTERM) (S,T,TestSleep)"}}) {
    Recorder.Lines.clear();
    ExitRan = false;
    const auto Start = std::chrono::steady_clock::now();
    int Seen = 0;
    {
      const TInterruptScope Scope;
      std::thread Sender;
      if (Case.OtherThread)
        // The sender signals itself: the handler runs on a thread with no phase.
        Sender = std::thread([&] {
          std::this_thread::sleep_for(std::chrono::milliseconds(200));
          raise(Case.Signal);
        });
      else
        Sender = SignalLater(pthread_self(), Case.Signal);
      Scenario.Run();
      Sender.join();
      Seen = Scope.Signal();
      EXPECT_EQ(InterruptSignal(), Case.Signal);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - Start, std::chrono::seconds(10));
    EXPECT_EQ(Seen, Case.Signal);
    EXPECT_EQ(InterruptSignal(), 0);
    EXPECT_EQ(Recorder.CountOf(Case.Text), 1) << Case.Text;
    EXPECT_TRUE(ExitRan);
    EXPECT_EQ(Recorder.CountOf("MethodStart(S,T,TestBusy)"), 0);
    EXPECT_EQ(Recorder.CountOf("UnitTestStart(S,U,)"), 0);
    EXPECT_EQ(Scenario.GetSummary().MethodException(), 1);
    EXPECT_EQ(Scenario.GetSummary().MethodTodo(), 3);
  }

  // The busy loop is ended the same way.
  Test.Scripts[0].Body = BusyLoop;
  Recorder.Lines.clear();
  {
    const TInterruptScope Scope;
    std::thread Sender = SignalLater(pthread_self(), SIGINT);
    Scenario.Run();
    Sender.join();
  }
  EXPECT_EQ(Recorder.CountOf("Exception Interrupted (SIGINT) (S,T,TestSleep)"), 1);

  // After the scope a run is whole again.
  Test.Scripts[0].Body = Pass;
  Test.Scripts[1].Body = Pass;
  Scenario.Run();
  EXPECT_EQ(Scenario.GetSummary().MethodSuccess(), 4);
}

// A signal that arrives while a message is delivered waits until every
// handler has had it; one that arrives outside a phase ends the next phase
// before its body runs.
TEST_F(FrameworkInterruption, DeliveryIsNotCutAndAWaitingSignalEndsTheNextPhase) {
  TRecorder Second;
  Recorder.OnMessage = [](const TCustomMessage& aMessage) {
    if (aMessage.GetId() == MessageIdCheck)
      raise(SIGINT);
  };
  bool AfterCheck = false;
  Prepare({{"TestChecks", [&](TScriptedTest& aTest) {
              aTest.Check(false, "first");
              AfterCheck = true;
            }}});
  Scenario.AddStateNotificationHandler(Second.Event());
  {
    const TInterruptScope Scope;
    Scenario.Run();
  }
  Scenario.RemoveStateNotificationHandler(Second.Event());
  EXPECT_EQ(Second.CountOf("Check- first (S,T,TestChecks)"), 1);
  EXPECT_FALSE(AfterCheck);
  EXPECT_EQ(Recorder.CountOf("Exception Interrupted (SIGINT) (S,T,TestChecks)"), 1);

  bool BodyRan = false;
  {
    const TInterruptScope Scope;
    raise(SIGTERM); // no phase runs: it waits
    EXPECT_EQ(InterruptSignal(), SIGTERM);
    try {
      RunGuarded([&] { BodyRan = true; });
      ADD_FAILURE() << "the phase was not ended";
    } catch (const Exception& Error) {
      EXPECT_STREQ(Error.what(), "Interrupted (SIGTERM)");
    }
    RunGuarded([&] { BodyRan = true; }); // taken once only
  }
  EXPECT_TRUE(BodyRan);
}

// Without a scope the run leaves SIGINT alone; with one, a second signal ends
// the process at once, even while the run is still finishing.
TEST_F(FrameworkInterruption, OffWithoutAScopeAndASecondSignalEndsTheProcess) {
  struct sigaction During {};
  Prepare({{"TestLooks", [&](TScriptedTest&) { sigaction(SIGINT, nullptr, &During); }}});
  Scenario.Run();
  EXPECT_EQ(During.sa_handler, SIG_DFL);

  const pid_t Child = fork();
  ASSERT_GE(Child, 0);
  if (Child == 0) {
    Test.OnExit = [](TScriptedTest&) { raise(SIGINT); };
    Test.Scripts[0].Body = [](TScriptedTest&) { raise(SIGINT); };
    const TInterruptScope Scope;
    Scenario.Run();
    std::_Exit(0); // not reached
  }
  int Status = 0;
  ASSERT_EQ(waitpid(Child, &Status, 0), Child);
  ASSERT_TRUE(WIFSIGNALED(Status)) << Status;
  EXPECT_EQ(WTERMSIG(Status), SIGINT);
}
