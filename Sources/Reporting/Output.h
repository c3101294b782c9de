// The output sink: listens to one scenario run and passes its log lines,
// error-list lines and summary report on, line by line.
#pragma once

#include "Formatters.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Kalvoro {

class TTestScenario;
class TMessageEventList;

// The messages that give error-list lines. A sink whose log lines go nowhere
// needs no others, and saying so spares the run building the rest.
inline constexpr std::uint32_t ErrorListMessages =
    MessageIdBit(MessageIdException) | FailedChecksBit;

// The abstract sink. It owns the three formatters and listens to its scenario
// from construction to destruction; where the lines go is up to the subclass.
// A sink built without a scenario has no formatters and never writes.
// aConsumes tells the scenario which messages the sink wants (MessageIdBit);
// it is still handed every message that the scenario builds.
class TOutput {
public:
  explicit TOutput(TTestScenario* aTestScenario,
                   const TFormatSettings& aSettings = GetDefaultFormatSettings(),
                   TClock aClock = CurrentDateTime, std::uint32_t aConsumes = AllMessageIds);
  virtual ~TOutput();
  TOutput(const TOutput&) = delete;
  TOutput& operator=(const TOutput&) = delete;

  // The scenario's handler: at most one log line, then at most one error line.
  void HandleMessage(TMessageEventList* aSender, const TCustomMessage& aMessage);
  // The same for a message that may be missing: nullptr writes nothing.
  void HandleMessage(TMessageEventList* aSender, const TCustomMessage* aMessage);
  // Passes every line of the summary report on, empty lines included.
  void OutputSummary();

  TTestScenario* TestScenario() const { return FTestScenario; }

protected:
  virtual void WriteLog(const std::string& aText) = 0;
  virtual void WriteError(const std::string& aText) = 0;
  virtual void WriteSummary(const std::string& aText) = 0;
  // The message whose lines are being written (inside WriteLog and
  // WriteError), else nullptr.
  const TCustomMessage* CurrentMessage() const { return FCurrentMessage; }

private:
  TTestScenario* FTestScenario = nullptr;
  const TCustomMessage* FCurrentMessage = nullptr;
  std::unique_ptr<TLogFormatter> FLogFormatter;
  std::unique_ptr<TErrorFormatter> FErrorFormatter;
  std::unique_ptr<TSummaryFormatter> FSummaryFormatter;
  // Reused for every line, so formatting does not allocate once it has grown.
  std::string FLine;
};

} // namespace Kalvoro
