// Output sinks: listen to one scenario run and pass its log lines, error-list
// lines and summary report on, line by line.
#pragma once

#include "Formatters.h"
#include "MonotonicClock.h"

#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

// Passes each page's lines on to a target of its own: a string list
// (TLinesOutput, which appends them) or a stream (TStreamOutput, which writes
// each line and "\n", without flushing line by line). A target that is nullptr
// drops its page's lines.
template <class TTarget> class TPagesOutput : public TOutput {
public:
  TPagesOutput(TTestScenario* aTestScenario, TTarget* aLog, TTarget* aErrors, TTarget* aSummary,
               const TFormatSettings& aSettings = GetDefaultFormatSettings(),
               TClock aClock = CurrentDateTime);

protected:
  void WriteLog(const std::string& aText) override;
  void WriteError(const std::string& aText) override;
  void WriteSummary(const std::string& aText) override;

private:
  TTarget* FLog;
  TTarget* FErrors;
  TTarget* FSummary;
};

extern template class TPagesOutput<std::vector<std::string>>;
extern template class TPagesOutput<std::ostream>;
using TLinesOutput = TPagesOutput<std::vector<std::string>>;
using TStreamOutput = TPagesOutput<std::ostream>;

// When a stream of lines is flushed: every line at once, so that what a run
// writes can be followed as it happens, except in a flood. A flush is a system
// call, which would cost more than the line itself when a run logs a million
// checks; so within one Interval only the first FloodLines lines are flushed
// one by one, the rest wait for the first line of the next interval (or an
// explicit flush). That bounds the flushes' cost to a few percent of a run.
class TFlushRule {
public:
  static constexpr long long Interval = 5'000'000; // nanoseconds
  static constexpr int FloodLines = 16;

  // Called after each line: true when the stream is to be flushed now.
  bool LineDue() noexcept {
    const long long Now = CoarseMonotonicNanoseconds();
    if (Now - FStart >= Interval) {
      FStart = Now;
      FLines = 0;
    }
    return ++FLines <= FloodLines;
  }

private:
  long long FStart = -Interval;
  int FLines = 0;
};

// A report file written line by line as the lines arrive, each ended by CR LF,
// so that a long run's page need not be held in memory. Opening empties an
// existing file. Lines come from inside a run, where an error must not stop
// it: the first error (opening or writing) is kept, later lines are dropped,
// and Close raises it as Exception("Unable to write to <path>: <reason>").
//
// Each line is handed to the system (flushed) as it is written, except in a
// flood (TFlushRule). A process that is killed outright loses at most the
// tail of a flood; Flush and Close hand over what is left.
class TLinesFile {
public:
  explicit TLinesFile(std::string aPath);
  ~TLinesFile();
  TLinesFile(const TLinesFile&) = delete;
  TLinesFile& operator=(const TLinesFile&) = delete;

  // Writes aLine and CR LF; a CR or LF inside aLine is written as \r or \n.
  void WriteLine(std::string_view aLine) noexcept;
  // Writes aText as it is.
  void Write(std::string_view aText) noexcept;
  // Hands what is written over to the system now.
  void Flush() noexcept;
  // Flushes and closes the file; raises the first error met.
  void Close();

private:
  void Fail(int aError) noexcept;

  std::string FPath;
  std::unique_ptr<char[]> FBuffer;
  std::FILE* FFile = nullptr;
  int FError = 0;
  TFlushRule FFlushRule;
};

// Writes the lines to a text file, each ended by CR LF, replacing an existing
// file as a whole. Raises Exception("Unable to write to <path>: <reason>").
void SaveLinesToFile(const std::string& aPath, const std::vector<std::string>& aLines);
// Writes aText as it is, replacing an existing file; fails like SaveLinesToFile.
void SaveTextToFile(const std::string& aPath, std::string_view aText);

} // namespace Kalvoro
