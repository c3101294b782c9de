#include "JUnitReport.h"

#include "IOutput.h"
#include "UnitTestBase.h"
#include "XmlText.h"

#include <charconv>
#include <ostream>

namespace Kalvoro {

namespace {

// Passing checks leave no trace in the report: only failed ones are wanted.
constexpr std::uint32_t ConsumedIds = MessageIdBit(MessageIdReport) | FailedChecksBit |
                                      MessageIdBit(MessageIdException) |
                                      MessageIdBit(MessageIdProgress);

void AppendNumber(std::string& aXml, long long aValue) {
  char Buffer[24];
  const auto Result = std::to_chars(Buffer, Buffer + sizeof Buffer, aValue);
  aXml.append(Buffer, Result.ptr);
}

// Seconds with six decimals, independent of the locale.
void AppendSeconds(std::string& aXml, long long aMicroseconds) {
  AppendNumber(aXml, aMicroseconds / 1000000);
  aXml.push_back('.');
  const std::string Fraction = std::to_string(1000000 + aMicroseconds % 1000000);
  aXml.append(Fraction, 1, std::string::npos);
}

long long Microseconds(std::chrono::nanoseconds aTime) {
  return aTime.count() <= 0 ? 0 : (aTime.count() + 500) / 1000;
}

void AppendAttribute(std::string& aXml, const char* aName, std::string_view aValue) {
  aXml.push_back(' ');
  aXml.append(aName);
  aXml.append("=\"");
  AppendXmlEscaped(aXml, aValue, true);
  aXml.push_back('"');
}

void AppendCountAttribute(std::string& aXml, const char* aName, long long aValue) {
  aXml.push_back(' ');
  aXml.append(aName);
  aXml.append("=\"");
  AppendNumber(aXml, aValue);
  aXml.push_back('"');
}

void AppendTimeAttribute(std::string& aXml, long long aMicroseconds) {
  aXml.append(" time=\"");
  AppendSeconds(aXml, aMicroseconds);
  aXml.push_back('"');
}

// <failure> or <error>: the first text as the message, all texts as the body.
void AppendProblem(std::string& aXml, const char* aTag, const std::vector<std::string>& aTexts) {
  aXml.append("      <");
  aXml.append(aTag);
  AppendAttribute(aXml, "message", aTexts.empty() ? std::string_view() : aTexts.front());
  if (aTexts.empty()) {
    aXml.append("/>\n");
    return;
  }
  aXml.push_back('>');
  for (std::size_t I = 0; I < aTexts.size(); ++I) {
    if (I > 0)
      aXml.push_back('\n');
    AppendXmlEscaped(aXml, aTexts[I], false);
  }
  aXml.append("</");
  aXml.append(aTag);
  aXml.append(">\n");
}

// <system-out> or <system-err>: a line each; nothing when there are none.
void AppendLines(std::string& aXml, const char* aTag, const std::vector<std::string>& aLines) {
  if (aLines.empty())
    return;
  aXml.append("      <").append(aTag).append(">");
  for (const std::string& Line : aLines) {
    AppendXmlEscaped(aXml, Line, false);
    aXml.push_back('\n');
  }
  aXml.append("</").append(aTag).append(">\n");
}

} // namespace

std::chrono::nanoseconds SteadyNow() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
}

// ---------------------------------------------------------------------------
// TJUnitReport

TJUnitReport::TJUnitReport(TSteadyClock aClock) : FClock(std::move(aClock)) {
  if (!FClock)
    FClock = SteadyNow;
}

TJUnitReport::~TJUnitReport() {
  try {
    Detach();
  } catch (...) {
    // A destructor must not raise; the collected data goes with the object.
  }
}

void TJUnitReport::Attach(TTestScenario* aTestScenario) {
  KALVORO_ASSERT(aTestScenario != nullptr);
  Detach();
  FTestScenario = aTestScenario;
  FTestScenario->AddStateNotificationHandler(RunListenerEvent(this, ConsumedIds));
}

void TJUnitReport::Detach() {
  if (FTestScenario == nullptr)
    return;
  FTestScenario->RemoveStateNotificationHandler(RunListenerEvent(this, ConsumedIds));
  if (FRunning)
    FinishScenario();
  FTestScenario = nullptr;
}

void TJUnitReport::Clear() {
  FScenarios.clear();
  FInterrupted.clear();
  FRunning = false;
  FCurrentUnitTest = -1;
  FCurrentMethod = -1;
}

void TJUnitReport::ScenarioStart(const TProgressMessage& aMessage) {
  StartScenario(aMessage.ScenarioName());
}

void TJUnitReport::ScenarioFinish(const TProgressMessage& /*aMessage*/) {
  FinishScenario();
}

void TJUnitReport::UnitTestStart(const TProgressMessage& aMessage) {
  StartUnitTest(aMessage.UnitTestName());
}

void TJUnitReport::UnitTestFinish(const TProgressMessage& /*aMessage*/) {
  FCurrentUnitTest = -1;
  FCurrentMethod = -1;
}

void TJUnitReport::PhaseStart(TRunPhase aPhase, const TProgressMessage& /*aMessage*/) {
  // A method's time runs from the start of its Init to the end of its Exit.
  if (aPhase != TRunPhase::Init)
    return;
  FCurrentMethod = -1;
  if (!FRunning || FCurrentUnitTest < 0)
    return;
  TUnitTestRecord& UnitTest =
      FScenarios.back().UnitTests[static_cast<std::size_t>(FCurrentUnitTest)];
  const int Index = UnitTest.Source->CurrentMethodIndex();
  if (Index >= 0 && Index < static_cast<int>(UnitTest.Methods.size())) {
    FCurrentMethod = Index;
    UnitTest.Methods[static_cast<std::size_t>(Index)].Start = FClock();
  }
}

void TJUnitReport::PhaseFinish(TRunPhase aPhase, const TProgressMessage& /*aMessage*/) {
  if (aPhase != TRunPhase::Exit)
    return;
  if (TMethodRecord* Method = CurrentMethod()) {
    Method->Elapsed = FClock() - Method->Start;
    FCurrentMethod = -1;
  }
}

void TJUnitReport::Check(const TCheckMessage& aMessage) {
  if (aMessage.Success())
    return;
  // "FILE:LINE: text", so that CI systems and editors link to the check.
  if (TMethodRecord* Method = CurrentMethod()) {
    const std::string Location = aMessage.Location();
    Method->Failures.push_back(Location.empty() ? aMessage.Message()
                                                : Location + ": " + aMessage.Message());
  }
}

void TJUnitReport::Exception(const TExceptionMessage& aMessage) {
  if (TMethodRecord* Method = CurrentMethod()) {
    // Errors of the fixture phases say where they came from.
    if (aMessage.MethodName() != Method->Name)
      Method->Errors.push_back(aMessage.MethodName() + ": " + aMessage.Message());
    else
      Method->Errors.push_back(aMessage.Message());
  }
}

void TJUnitReport::Report(const TReportMessage& aMessage) {
  if (TMethodRecord* Method = CurrentMethod())
    (aMessage.MethodName() == StandardErrorSource ? Method->ErrorOutput : Method->Output)
        .push_back(aMessage.Message());
}

void TJUnitReport::StartScenario(const std::string& aName) {
  if (FRunning)
    FinishScenario();
  TScenarioRecord Scenario;
  Scenario.Name = FRunLabel + aName;
  if (FTestScenario != nullptr)
    for (const TUnitTestBase* Source : FTestScenario->UnitTestList()) {
      TUnitTestRecord UnitTest;
      UnitTest.Name = Source->Name();
      UnitTest.Source = Source;
      for (const TUnitTestMethod* Method : Source->Methods())
        UnitTest.Methods.push_back(TMethodRecord{Method->Name(), tcrTodo, {}, {}, {}, {}, {}, {}});
      Scenario.UnitTests.push_back(std::move(UnitTest));
    }
  FScenarios.push_back(std::move(Scenario));
  FRunning = true;
  FCurrentUnitTest = -1;
  FCurrentMethod = -1;
}

void TJUnitReport::FinishScenario() {
  if (!FRunning)
    return;
  // The methods' own results are final now; methods that never ran keep
  // tcrTodo and count as skipped. A method that started and did not finish
  // (the run stopped in it) has no result to trust: it is an error, never a
  // pass.
  TMethodRecord* Unfinished = CurrentMethod();
  for (TUnitTestRecord& UnitTest : FScenarios.back().UnitTests) {
    const TUnitTestMethodList& Methods = UnitTest.Source->Methods();
    for (std::size_t I = 0; I < UnitTest.Methods.size(); ++I)
      if (static_cast<int>(I) < Methods.Count())
        UnitTest.Methods[I].Result = Methods.GetItem(static_cast<int>(I))->TestResult();
    UnitTest.Source = nullptr;
  }
  if (Unfinished != nullptr) {
    if (Unfinished->Result == tcrSuccess || Unfinished->Result == tcrTodo)
      Unfinished->Result = tcrException;
    Unfinished->Errors.push_back("The run stopped before the method finished");
  }
  FRunning = false;
  FCurrentUnitTest = -1;
  FCurrentMethod = -1;
}

void TJUnitReport::StartUnitTest(const std::string& aName) {
  FCurrentUnitTest = -1;
  FCurrentMethod = -1;
  if (!FRunning)
    return;
  // The scenario may run its unit tests in any order (shuffled, some left
  // out), and names may repeat: the first one of this name that has not
  // started yet is the one that starts.
  std::vector<TUnitTestRecord>& UnitTests = FScenarios.back().UnitTests;
  for (std::size_t I = 0; I < UnitTests.size(); ++I)
    if (!UnitTests[I].Started && UnitTests[I].Name == aName) {
      UnitTests[I].Started = true;
      FCurrentUnitTest = static_cast<int>(I);
      return;
    }
}

TJUnitReport::TMethodRecord* TJUnitReport::CurrentMethod() {
  if (!FRunning || FCurrentUnitTest < 0 || FCurrentMethod < 0)
    return nullptr;
  return &FScenarios.back()
              .UnitTests[static_cast<std::size_t>(FCurrentUnitTest)]
              .Methods[static_cast<std::size_t>(FCurrentMethod)];
}

int TJUnitReport::Count(TUnitTestResult aResult) const {
  int Result = 0;
  for (const TScenarioRecord& Scenario : FScenarios)
    for (const TUnitTestRecord& UnitTest : Scenario.UnitTests)
      for (const TMethodRecord& Method : UnitTest.Methods)
        if (Method.Result == aResult)
          ++Result;
  return Result;
}

int TJUnitReport::Tests() const {
  int Result = 0;
  for (const TScenarioRecord& Scenario : FScenarios)
    for (const TUnitTestRecord& UnitTest : Scenario.UnitTests)
      Result += static_cast<int>(UnitTest.Methods.size());
  return Result;
}

int TJUnitReport::Failures() const {
  return Count(tcrFailure);
}
int TJUnitReport::Errors() const {
  return Count(tcrException);
}
int TJUnitReport::Skipped() const {
  return Count(tcrTodo);
}

std::string TJUnitReport::GetXml() const {
  long long TotalTime = 0;
  for (const TScenarioRecord& Scenario : FScenarios)
    for (const TUnitTestRecord& UnitTest : Scenario.UnitTests)
      for (const TMethodRecord& Method : UnitTest.Methods)
        TotalTime += Microseconds(Method.Elapsed);

  std::string Xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites";
  AppendCountAttribute(Xml, "tests", Tests());
  AppendCountAttribute(Xml, "failures", Failures());
  AppendCountAttribute(Xml, "errors", Errors());
  AppendCountAttribute(Xml, "skipped", Skipped());
  AppendTimeAttribute(Xml, TotalTime);
  Xml.append(">\n");

  const bool Prefixed = FScenarios.size() > 1;
  for (const TScenarioRecord& Scenario : FScenarios)
    for (const TUnitTestRecord& UnitTest : Scenario.UnitTests) {
      int Failures = 0, Errors = 0, Skipped = 0;
      long long Time = 0;
      for (const TMethodRecord& Method : UnitTest.Methods) {
        Failures += Method.Result == tcrFailure;
        Errors += Method.Result == tcrException;
        Skipped += Method.Result == tcrTodo;
        Time += Microseconds(Method.Elapsed);
      }
      Xml.append("  <testsuite");
      AppendAttribute(Xml, "name", Prefixed ? Scenario.Name + "/" + UnitTest.Name : UnitTest.Name);
      AppendCountAttribute(Xml, "tests", static_cast<long long>(UnitTest.Methods.size()));
      AppendCountAttribute(Xml, "failures", Failures);
      AppendCountAttribute(Xml, "errors", Errors);
      AppendCountAttribute(Xml, "skipped", Skipped);
      AppendTimeAttribute(Xml, Time);
      Xml.append(">\n");
      if (!FInterrupted.empty()) {
        Xml.append("    <properties>\n      <property name=\"interrupted\"");
        AppendAttribute(Xml, "value", FInterrupted);
        Xml.append("/>\n    </properties>\n");
      }
      for (const TMethodRecord& Method : UnitTest.Methods) {
        Xml.append("    <testcase");
        AppendAttribute(Xml, "name", Method.Name);
        AppendAttribute(Xml, "classname", UnitTest.Name);
        AppendTimeAttribute(Xml, Microseconds(Method.Elapsed));
        const bool Failed = Method.Result == tcrFailure || !Method.Failures.empty();
        const bool Raised = Method.Result == tcrException || !Method.Errors.empty();
        if (Method.Result != tcrTodo && !Failed && !Raised && Method.Output.empty() &&
            Method.ErrorOutput.empty()) {
          Xml.append("/>\n");
          continue;
        }
        Xml.append(">\n");
        if (Method.Result == tcrTodo)
          Xml.append("      <skipped/>\n");
        if (Failed)
          AppendProblem(Xml, "failure", Method.Failures);
        if (Raised)
          AppendProblem(Xml, "error", Method.Errors);
        AppendLines(Xml, "system-out", Method.Output);
        AppendLines(Xml, "system-err", Method.ErrorOutput);
        Xml.append("    </testcase>\n");
      }
      Xml.append("  </testsuite>\n");
    }
  Xml.append("</testsuites>\n");
  return Xml;
}

void TJUnitReport::Write(std::ostream& aStream) const {
  const std::string Xml = GetXml();
  aStream.write(Xml.data(), static_cast<std::streamsize>(Xml.size()));
}

void TJUnitReport::WriteFile(const std::string& aPath) const {
  SaveTextToFile(aPath, GetXml());
}

} // namespace Kalvoro
