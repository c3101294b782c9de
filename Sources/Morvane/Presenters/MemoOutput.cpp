#include "MemoOutput.h"

#include "LinesPage.h"

#include <utility>

namespace Kalvoro {

namespace {
void AppendTo(TLinesPage* aPage, const std::string& aText) {
  if (aPage != nullptr)
    aPage->Append(aText);
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
