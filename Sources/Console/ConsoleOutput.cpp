#include "ConsoleOutput.h"

#include "ProgressBar.h"
#include "UnitTestBase.h"

#include <algorithm>
#include <ostream>

namespace Kalvoro {

std::string TerminalText(std::string_view aText) {
  const auto IsControl = [](unsigned char C) { return (C < 0x20 && C != '\t') || C == 0x7f; };
  if (std::none_of(aText.begin(), aText.end(), IsControl))
    return std::string(aText);
  static constexpr char Digits[] = "0123456789abcdef";
  std::string Result;
  for (const char Char : aText) {
    const auto C = static_cast<unsigned char>(Char);
    if (!IsControl(C))
      Result += Char;
    else if (C == '\n')
      Result += "\\n";
    else if (C == '\r')
      Result += "\\r";
    else
      Result += {'\\', 'x', Digits[C >> 4], Digits[C & 15]};
  }
  return Result;
}

namespace {
// "FILE:LINE: " of a failed check, the form compilers use, so that editors
// and terminals link to it; empty for other messages and unknown places.
std::string PlaceOfFailedCheck(const TCustomMessage* aMessage) {
  struct TPlace : IRunListener {
    std::string Text;
    void Check(const TCheckMessage& aCheck) override {
      if (!aCheck.Success() && !aCheck.FileName().empty())
        Text = aCheck.Location() + ": ";
    }
  } Place;
  if (aMessage != nullptr)
    DispatchRunMessage(*aMessage, Place);
  return Place.Text;
}
} // namespace

void PrintError(TRunnerStreams& aStreams, const std::string& aText) {
  // Error texts may hold carriage returns as line breaks; a terminal wants '\n'.
  std::string Text = WithFullStop(aText);
  std::replace(Text.begin(), Text.end(), '\r', '\n');
  aStreams.Err << "kalvoro: " << Text << '\n';
}

TConsoleOutput::TConsoleOutput(TTestScenario* aScenario, TConsolePages& aPages,
                               TRunnerStreams& aStreams, bool aVerbose, TProgressBar* aProgress)
    : TOutput(aScenario, GetDefaultFormatSettings(), CurrentDateTime,
              aPages.Files[pkLog] || aVerbose ? AllMessageIds : ErrorListMessages),
      FPages(aPages), FStreams(aStreams), FVerbose(aVerbose), FProgress(aProgress) {
  // Registered after the lines' handler, so that a method's BEGIN line is
  // written before it is handed over. Only where progress is built anyway.
  FWatchesMethods = aScenario != nullptr && (aPages.Files[pkLog] || aVerbose);
  if (FWatchesMethods)
    aScenario->AddStateNotificationHandler(RunListenerEvent(this, MessageIdBit(MessageIdProgress)));
}

TConsoleOutput::~TConsoleOutput() {
  if (FWatchesMethods && TestScenario() != nullptr)
    TestScenario()->RemoveStateNotificationHandler(RunListenerEvent(this));
  HandOver();
}

void TConsoleOutput::WriteToFile(TPageKind aKind, const std::string& aText) {
  if (FPages.Files[aKind])
    FPages.Files[aKind]->WriteLine(aText);
}

void TConsoleOutput::WriteLog(const std::string& aText) {
  WriteToFile(pkLog, aText);
  if (FVerbose)
    Echo(aText);
}

void TConsoleOutput::WriteError(const std::string& aText) {
  WriteToFile(pkErrors, aText);
  if (!FVerbose)
    Echo(PlaceOfFailedCheck(CurrentMessage()) + aText);
}

void TConsoleOutput::WriteSummary(const std::string& aText) {
  FPages.Summary.push_back(aText);
}

void TConsoleOutput::Echo(const std::string& aText) {
  if (FProgress != nullptr)
    FProgress->Clear();
  FStreams.Out << TerminalText(aText) << '\n';
  if (FEchoFlushRule.LineDue())
    FStreams.Out.flush();
}

void TConsoleOutput::HandOver() {
  for (const auto& File : FPages.Files.Items)
    if (File)
      File->Flush();
  FStreams.Out.flush();
}

void TConsoleOutput::PhaseStart(TRunPhase aPhase, const TProgressMessage& /*aMessage*/) {
  if (aPhase == TRunPhase::Method)
    HandOver();
}

} // namespace Kalvoro
