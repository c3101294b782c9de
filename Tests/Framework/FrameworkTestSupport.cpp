#include "FrameworkTestSupport.h"

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
} // namespace

std::string Describe(const TCustomMessage& aMessage) {
  switch (aMessage.GetId()) {
  case MessageIdReport: {
    const auto& Report = static_cast<const TReportMessage&>(aMessage);
    // A report carries no names; show them should one be set by mistake.
    const std::string Names = Where(Report);
    return "Report " + Report.Message() + (Names == "(,,)" ? "" : " " + Names);
  }
  case MessageIdCheck: {
    const auto& Check = static_cast<const TCheckMessage&>(aMessage);
    const std::string Names = Where(Check);
    return std::string(Check.Success() ? "Check+ " : "Check- ") + Check.Message() +
           (Names == "(,,)" ? "" : " " + Names);
  }
  case MessageIdException: {
    const auto& Error = static_cast<const TExceptionMessage&>(aMessage);
    return "Exception " + Error.Message() + " " + Where(Error);
  }
  case MessageIdProgress: {
    const auto& Progress = static_cast<const TProgressMessage&>(aMessage);
    const std::string Text = Progress.Message().empty() ? "" : " " + Progress.Message();
    return ProgressNames[Progress.ProgressType()] + Where(Progress) + Text;
  }
  default:
    return "Id " + std::to_string(aMessage.GetId());
  }
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
