#include "MemoOutput.h"

#include "LinesPage.h"

#include <utility>

namespace Kalvoro {

namespace {

// One message is one line, as in the report files: a line break inside a
// text is shown as \n or \r, so that no text can forge a line of a page.
void AppendTo(TLinesPage* aPage, const std::string& aText) {
  if (aPage == nullptr)
    return;
  if (aText.find_first_of("\r\n") == std::string::npos) {
    aPage->Append(aText);
    return;
  }
  std::string Line;
  for (const char Char : aText) {
    if (Char == '\n')
      Line += "\\n";
    else if (Char == '\r')
      Line += "\\r";
    else
      Line += Char;
  }
  aPage->Append(Line);
}

} // namespace

TMemoOutput::TMemoOutput(TTestScenario* aTestScenario, TLinesPage* aLogMemo, TLinesPage* aErrorMemo,
                         TLinesPage* aSummaryMemo, const TFormatSettings& aSettings, TClock aClock)
    : TOutput(aTestScenario, aSettings, std::move(aClock)), FLogMemo(aLogMemo),
      FErrorMemo(aErrorMemo), FSummaryMemo(aSummaryMemo) {}

TMemoOutput::~TMemoOutput() {
  FLogMemo = nullptr;
  FErrorMemo = nullptr;
  FSummaryMemo = nullptr;
}

void TMemoOutput::WriteLog(const std::string& aText) {
  AppendTo(FLogMemo, aText);
}
void TMemoOutput::WriteError(const std::string& aText) {
  AppendTo(FErrorMemo, aText);
}
void TMemoOutput::WriteSummary(const std::string& aText) {
  AppendTo(FSummaryMemo, aText);
}

} // namespace Kalvoro
