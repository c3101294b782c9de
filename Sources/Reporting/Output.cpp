#include "Output.h"

#include "UnitTestBase.h"

#include <utility>

namespace Kalvoro {

namespace {

using THandler = void (TOutput::*)(TMessageEventList*, const TCustomMessage&);

// The handler as the scenario sees it; identity is this member function.
TMessageEvent HandlerOf(TOutput* aOutput, std::uint32_t aConsumes = AllMessageIds) {
  return MakeMessageEvent<static_cast<THandler>(&TOutput::HandleMessage)>(aOutput, aConsumes);
}

} // namespace

TOutput::TOutput(TTestScenario* aTestScenario, const TFormatSettings& aSettings, TClock aClock,
                 std::uint32_t aConsumes) {
  if (aTestScenario == nullptr)
    return;
  FLogFormatter = std::make_unique<TLogFormatter>(aSettings, aClock);
  FErrorFormatter = std::make_unique<TErrorFormatter>();
  FSummaryFormatter = std::make_unique<TSummaryFormatter>(aTestScenario, aSettings, aClock);
  FTestScenario = aTestScenario;
  FTestScenario->AddStateNotificationHandler(HandlerOf(this, aConsumes));
}

TOutput::~TOutput() {
  if (FTestScenario != nullptr)
    FTestScenario->RemoveStateNotificationHandler(HandlerOf(this));
  FLogFormatter.reset();
  FErrorFormatter.reset();
  FSummaryFormatter.reset();
  FTestScenario = nullptr;
}

void TOutput::HandleMessage(TMessageEventList* aSender, const TCustomMessage& aMessage) {
  HandleMessage(aSender, &aMessage);
}

void TOutput::HandleMessage(TMessageEventList* /*aSender*/, const TCustomMessage* aMessage) {
  if (FTestScenario == nullptr || aMessage == nullptr)
    return;
  FCurrentMessage = aMessage;
  struct TReset {
    const TCustomMessage*& Slot;
    ~TReset() { Slot = nullptr; }
  } Reset{FCurrentMessage};
  FLogFormatter->Format(*aMessage, FLine);
  if (!FLine.empty())
    WriteLog(FLine);
  FErrorFormatter->Format(*aMessage, FLine);
  if (!FLine.empty())
    WriteError(FLine);
}

void TOutput::OutputSummary() {
  if (FTestScenario == nullptr)
    return;
  for (const std::string& Line : FSummaryFormatter->Format())
    WriteSummary(Line);
}

} // namespace Kalvoro
