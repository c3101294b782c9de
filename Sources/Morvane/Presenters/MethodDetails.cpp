#include "MethodDetails.h"

#include "ResultMarks.h"
#include "ResultTimes.h"
#include "UnitTestBase.h"

#include <algorithm>

namespace Kalvoro {

namespace {

constexpr std::uint32_t Watched = MessageIdBit(MessageIdProgress) | MessageIdBit(MessageIdReport) |
                                  MessageIdBit(MessageIdException) | FailedChecksBit;

QString Text(const std::string& aText) {
  return QString::fromUtf8(aText.data(), static_cast<qsizetype>(aText.size()));
}

QString PhaseText(TRunPhase aPhase) {
  switch (aPhase) {
  case TRunPhase::Init:
    return QStringLiteral("Init");
  case TRunPhase::Method:
    return QStringLiteral("Method");
  case TRunPhase::Exit:
    break;
  }
  return QStringLiteral("Exit");
}

TMessageEvent HandlerOf(TMethodDetails* aDetails) {
  return RunListenerEvent(aDetails, Watched);
}

} // namespace

TMethodDetails::~TMethodDetails() {
  Detach();
}

void TMethodDetails::Clear() {
  FRecords.clear();
  FOutputs.clear();
}

void TMethodDetails::Attach(TTestScenario& aScenario) {
  Detach();
  FScenario = &aScenario;
  FScenario->AddStateNotificationHandler(HandlerOf(this));
}

void TMethodDetails::Detach() {
  if (FScenario != nullptr)
    FScenario->RemoveStateNotificationHandler(HandlerOf(this));
  FScenario = nullptr;
}

void TMethodDetails::SetOutput(const TUnitTestMethod* aMethod, std::string aOutput) {
  FOutputs[aMethod] = std::move(aOutput);
}

TMethodDetails::TRecord& TMethodDetails::Record() {
  if (FMethod != nullptr)
    return FRecords[FMethod];
  FStray = TRecord();
  return FStray;
}

void TMethodDetails::UnitTestStart(const TProgressMessage& aMessage) {
  FUnitTest = FScenario->UnitTestList().FindByName(aMessage.UnitTestName());
}

void TMethodDetails::PhaseStart(TRunPhase aPhase, const TProgressMessage& /*aMessage*/) {
  FPhase = aPhase;
  if (aPhase != TRunPhase::Init)
    return;
  // The unit test knows which method its phases run for.
  const int Index = FUnitTest != nullptr ? FUnitTest->CurrentMethodIndex() : -1;
  FMethod = Index >= 0 && Index < FUnitTest->Methods().Count() ? FUnitTest->Methods().GetItem(Index)
                                                               : nullptr;
  FRecords.erase(FMethod);
  FStarted = FClock();
}

void TMethodDetails::PhaseFinish(TRunPhase aPhase, const TProgressMessage& /*aMessage*/) {
  if (aPhase == TRunPhase::Exit)
    Record().Milliseconds = std::chrono::duration<double, std::milli>(FClock() - FStarted).count();
}

void TMethodDetails::Report(const TReportMessage& aMessage) {
  Record().Lines << QStringLiteral("REPORT ") + Text(aMessage.Message());
}

void TMethodDetails::Check(const TCheckMessage& aMessage) {
  // Checks that held reach every listener of checks; only failures count.
  if (aMessage.Success())
    return;
  TRecord& Target = Record();
  const std::string Location = aMessage.Location();
  if (!Location.empty() && Target.File.isEmpty()) {
    Target.File = Text(aMessage.FileName());
    Target.Line = static_cast<int>(aMessage.Line());
  }
  Target.Lines << QStringLiteral("FAILURE ") +
                      (Location.empty() ? QString() : Text(Location) + QStringLiteral(": ")) +
                      Text(aMessage.Message());
}

void TMethodDetails::Exception(const TExceptionMessage& aMessage) {
  Record().Lines << QStringLiteral("EXCEPTION in ") + PhaseText(FPhase) + QStringLiteral(": ") +
                        Text(aMessage.Message());
}

void TMethodDetails::Rekey(const std::map<const TUnitTestMethod*, const TUnitTestMethod*>& aMoves) {
  std::map<const TUnitTestMethod*, TRecord> Records;
  std::map<const TUnitTestMethod*, std::string> Outputs;
  for (const auto& [Old, New] : aMoves) {
    if (const auto Found = FRecords.find(Old); Found != FRecords.end())
      Records[New] = std::move(Found->second);
    if (const auto Found = FOutputs.find(Old); Found != FOutputs.end())
      Outputs[New] = std::move(Found->second);
  }
  FRecords = std::move(Records);
  FOutputs = std::move(Outputs);
}

double TMethodDetails::Milliseconds(const TUnitTestMethod* aMethod) const {
  const auto Found = FRecords.find(aMethod);
  return Found == FRecords.end() ? -1 : Found->second.Milliseconds;
}

bool TMethodDetails::FailureLocation(const TUnitTestMethod* aMethod, QString& aFile,
                                     int& aLine) const {
  const auto Found = FRecords.find(aMethod);
  if (Found == FRecords.end() || Found->second.File.isEmpty())
    return false;
  aFile = Found->second.File;
  aLine = Found->second.Line;
  return true;
}

QStringList TMethodDetails::Lines(const std::vector<TResultRow>& aRows, int aRow) const {
  if (aRow < 0 || static_cast<std::size_t>(aRow) >= aRows.size())
    return {};
  const TResultRow& Row = aRows[static_cast<std::size_t>(aRow)];
  if (Row.Kind != rrkMethod) {
    // Its methods by result: the rows below it, down to the next of its level.
    int Counts[4] = {};
    int Total = 0;
    for (std::size_t I = static_cast<std::size_t>(aRow) + 1;
         I < aRows.size() && aRows[I].Level() > Row.Level(); ++I)
      if (aRows[I].Kind == rrkMethod) {
        ++Total;
        ++Counts[std::clamp(static_cast<int>(aRows[I].Method->TestResult()), 0, 3)];
      }
    return {QStringLiteral("%1: %2 methods").arg(Row.Text).arg(Total),
            QStringLiteral("SUCCESS %1, FAILURE %2, EXCEPTION %3, TODO %4")
                .arg(Counts[tcrSuccess])
                .arg(Counts[tcrFailure])
                .arg(Counts[tcrException])
                .arg(Counts[tcrTodo])};
  }
  // The method's unit test: the row above it of that kind.
  QString UnitTest;
  for (int I = aRow - 1; I >= 0 && UnitTest.isNull(); --I)
    if (aRows[static_cast<std::size_t>(I)].Kind == rrkUnitTest)
      UnitTest = aRows[static_cast<std::size_t>(I)].Text;
  QStringList Result = {UnitTest + QLatin1Char('.') + Row.Text + QStringLiteral(": ") + Row.Status};
  const auto Found = FRecords.find(Row.Method);
  if (Found == FRecords.end())
    return Result << QStringLiteral("Not run in the last run");
  const TRecord* Record = &Found->second;
  if (Row.Mark != rmNone)
    Result << MarkText(Row.Mark);
  Result << Record->Lines;
  if (Record->Milliseconds >= 0)
    Result << QStringLiteral("Duration: ") + DurationText(Record->Milliseconds);
  if (!FCaptured) {
    Result << QStringLiteral("Output: not captured in process");
  } else if (const auto Output = FOutputs.find(Row.Method);
             Output != FOutputs.end() && !Output->second.empty()) {
    Result << QStringLiteral("Output:");
    Result << Text(Output->second).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  } else {
    Result << QStringLiteral("Output: none");
  }
  return Result;
}

} // namespace Kalvoro
