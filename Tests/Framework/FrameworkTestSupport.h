// Helpers shared by the framework tests: a handler that records every message
// as one line of text, and a unit test whose methods are set by the test.
#pragma once

#include "UnitTest.h"
#include "UnitTestBase.h"

#include <functional>
#include <string>
#include <vector>

namespace KalvoroTest {

// "ProgressName(S,T,M)", "Check+ text", "Check- text (S,T,M)",
// "Exception text (S,T,M)", "Report text" or "Id N".
std::string Describe(const Kalvoro::TCustomMessage& aMessage);

// Records every message it receives; optionally raises on one line.
class TRecorder {
public:
  Kalvoro::TMessageEvent Event() { return Kalvoro::MakeMessageEvent<&TRecorder::Handle>(this); }
  void Handle(Kalvoro::TMessageEventList* aSender, const Kalvoro::TCustomMessage& aMessage);
  int CountOf(const std::string& aLine) const;

  std::vector<std::string> Lines;
  // Raised as Kalvoro::Exception("handler raised") once, when this line arrives.
  std::string RaiseOn;
  // Called for every message after it has been recorded.
  std::function<void(const Kalvoro::TCustomMessage&)> OnMessage;
};

// A unit test with up to four methods whose bodies the test supplies.
class TScriptedTest : public Kalvoro::TUnitTest {
public:
  using TUnitTest::TUnitTest;

  struct TMethodScript {
    std::string Name;
    std::function<void(TScriptedTest&)> Body;
  };

  void Register() override;
  void Init() override {
    if (OnInit)
      OnInit(*this);
  }
  void Exit() override {
    if (OnExit)
      OnExit(*this);
  }

  std::vector<TMethodScript> Scripts;
  std::function<void(TScriptedTest&)> OnInit;
  std::function<void(TScriptedTest&)> OnExit;
  std::vector<std::string> Called;

private:
  void Method0() { Call(0); }
  void Method1() { Call(1); }
  void Method2() { Call(2); }
  void Method3() { Call(3); }
  void Call(std::size_t aIndex);
};

} // namespace KalvoroTest
