#include "FrameworkTestSupport.h"

#include "RunListener.h"

#include <algorithm>
#include <stdexcept>

namespace KalvoroTest {

using namespace Kalvoro;

namespace {
const char* const ProgressNames[] = {
    "ScenarioStart", "ScenarioFinish", "UnitTestStart", "UnitTestFinish", "InitStart",
    "InitFinish",    "MethodStart",    "MethodFinish",  "ExitStart",      "ExitFinish"};

std::string Where(const TMessageBase& aMessage) {
  return "(" + aMessage.ScenarioName() + "," + aMessage.UnitTestName() + "," +
         aMessage.MethodName() + ")";
}

// Writes the line of each kind of message.
class TDescriber : public IRunListener {
public:
  std::string Text;

  void ScenarioStart(const TProgressMessage& aMessage) override { Progress(aMessage); }
  void ScenarioFinish(const TProgressMessage& aMessage) override { Progress(aMessage); }
  void UnitTestStart(const TProgressMessage& aMessage) override { Progress(aMessage); }
  void UnitTestFinish(const TProgressMessage& aMessage) override { Progress(aMessage); }
  void PhaseStart(TRunPhase, const TProgressMessage& aMessage) override { Progress(aMessage); }
  void PhaseFinish(TRunPhase, const TProgressMessage& aMessage) override { Progress(aMessage); }
  void Report(const TReportMessage& aMessage) override {
    // A report carries no names; show them should one be set by mistake.
    const std::string Names = Where(aMessage);
    Text = "Report " + aMessage.Message() + (Names == "(,,)" ? "" : " " + Names);
  }
  void Check(const TCheckMessage& aMessage) override {
    const std::string Names = Where(aMessage);
    Text = std::string(aMessage.Success() ? "Check+ " : "Check- ") + aMessage.Message() +
           (Names == "(,,)" ? "" : " " + Names);
  }
  void Exception(const TExceptionMessage& aMessage) override {
    Text = "Exception " + aMessage.Message() + " " + Where(aMessage);
  }
  void OtherMessage(const TCustomMessage& aMessage) override {
    Text = "Id " + std::to_string(aMessage.GetId());
  }

private:
  void Progress(const TProgressMessage& aMessage) {
    const std::string Extra = aMessage.Message().empty() ? "" : " " + aMessage.Message();
    Text = ProgressNames[aMessage.ProgressType()] + Where(aMessage) + Extra;
  }
};
} // namespace

std::string Describe(const TCustomMessage& aMessage) {
  TDescriber Describer;
  DispatchRunMessage(aMessage, Describer);
  return Describer.Text;
}

void TRecorder::Handle(TMessageEventList* /*aSender*/, const TCustomMessage& aMessage) {
  Lines.push_back(Describe(aMessage));
  if (OnMessage)
    OnMessage(aMessage);
  if (!RaiseOn.empty() && Lines.back() == RaiseOn) {
    RaiseOn.clear();
    throw Exception("handler raised");
  }
}

int TRecorder::CountOf(const std::string& aLine) const {
  return static_cast<int>(std::count(Lines.begin(), Lines.end(), aLine));
}

void TScriptedTest::Register() {
  using TCode = void (TUnitTestBase::*)();
  static const TCode Codes[] = {
      static_cast<TCode>(&TScriptedTest::Method0), static_cast<TCode>(&TScriptedTest::Method1),
      static_cast<TCode>(&TScriptedTest::Method2), static_cast<TCode>(&TScriptedTest::Method3)};
  if (Scripts.size() > std::size(Codes))
    throw std::logic_error("TScriptedTest takes at most four methods");
  for (std::size_t I = 0; I < Scripts.size(); ++I)
    RegisterMethod(Codes[I], Scripts[I].Name);
}

void TScriptedTest::Call(std::size_t aIndex) {
  Called.push_back(Scripts[aIndex].Name);
  if (Scripts[aIndex].Body)
    Scripts[aIndex].Body(*this);
}

} // namespace KalvoroTest
