#include "IOutput.h"

#include "UnitTestBase.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ostream>
#include <utility>

#include <time.h>

namespace Kalvoro {

namespace {

using THandler = void (TOutput::*)(TMessageEventList*, const TCustomMessage&);

// The handler as the scenario sees it; identity is this member function.
TMessageEvent HandlerOf(TOutput* aOutput, std::uint32_t aConsumes = AllMessageIds) {
  return MakeMessageEvent<static_cast<THandler>(&TOutput::HandleMessage)>(aOutput, aConsumes);
}

void WriteLine(std::ostream* aStream, const std::string& aText) {
  if (aStream == nullptr)
    return;
  aStream->write(aText.data(), static_cast<std::streamsize>(aText.size()));
  aStream->put('\n');
}

void WriteLine(std::vector<std::string>* aLines, const std::string& aText) {
  if (aLines != nullptr)
    aLines->push_back(aText);
}

// Report files get one large buffer: they can run to millions of short lines.
constexpr std::size_t ReportBufferSize = 1 << 16;

} // namespace

// ---------------------------------------------------------------------------
// TOutput

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

// ---------------------------------------------------------------------------
// TPagesOutput

template <class TTarget>
TPagesOutput<TTarget>::TPagesOutput(TTestScenario* aTestScenario, TTarget* aLog, TTarget* aErrors,
                                    TTarget* aSummary, const TFormatSettings& aSettings,
                                    TClock aClock)
    : TOutput(aTestScenario, aSettings, std::move(aClock)), FLog(aLog), FErrors(aErrors),
      FSummary(aSummary) {}

template <class TTarget> void TPagesOutput<TTarget>::WriteLog(const std::string& aText) {
  WriteLine(FLog, aText);
}
template <class TTarget> void TPagesOutput<TTarget>::WriteError(const std::string& aText) {
  WriteLine(FErrors, aText);
}
template <class TTarget> void TPagesOutput<TTarget>::WriteSummary(const std::string& aText) {
  WriteLine(FSummary, aText);
}

template class TPagesOutput<std::vector<std::string>>;
template class TPagesOutput<std::ostream>;

// ---------------------------------------------------------------------------
// Files

TLinesFile::TLinesFile(std::string aPath)
    : FPath(std::move(aPath)), FBuffer(std::make_unique<char[]>(ReportBufferSize)),
      FFile(std::fopen(FPath.c_str(), "wb")) {
  if (FFile == nullptr)
    Fail(errno);
  else
    std::setvbuf(FFile, FBuffer.get(), _IOFBF, ReportBufferSize);
}

TLinesFile::~TLinesFile() {
  if (FFile != nullptr)
    std::fclose(FFile);
}

void TLinesFile::Write(std::string_view aText) noexcept {
  if (FFile == nullptr || FError != 0)
    return;
  if (std::fwrite(aText.data(), 1, aText.size(), FFile) != aText.size())
    Fail(errno);
}

void TLinesFile::Flush() noexcept {
  if (FFile != nullptr && FError == 0 && std::fflush(FFile) != 0)
    Fail(errno);
}

void TLinesFile::WriteLine(std::string_view aLine) noexcept {
  // One message is one line: a line break inside it is written as \n or \r,
  // so that no text can forge a line of the file.
  for (std::size_t Break; (Break = aLine.find_first_of("\r\n")) != std::string_view::npos;) {
    Write(aLine.substr(0, Break));
    Write(aLine[Break] == '\n' ? "\\n" : "\\r");
    aLine.remove_prefix(Break + 1);
  }
  Write(aLine);
  Write("\r\n");
  if (FFlushRule.LineDue())
    Flush();
}

void TLinesFile::Close() {
  std::FILE* File = FFile;
  FFile = nullptr;
  if (File != nullptr && std::fclose(File) != 0 && FError == 0)
    Fail(errno);
  if (FError != 0)
    throw Exception("Unable to write to " + FPath + ": " + std::strerror(FError));
}

void TLinesFile::Fail(int aError) noexcept {
  if (FError == 0)
    FError = aError != 0 ? aError : EIO;
}

void SaveLinesToFile(const std::string& aPath, const std::vector<std::string>& aLines) {
  TLinesFile File(aPath);
  for (const std::string& Line : aLines)
    File.WriteLine(Line);
  File.Close();
}

void SaveTextToFile(const std::string& aPath, std::string_view aText) {
  TLinesFile File(aPath);
  File.Write(aText);
  File.Close();
}

} // namespace Kalvoro
