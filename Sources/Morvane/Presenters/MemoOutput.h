// The output sink of the results view: the lines of one scenario run go to
// its three pages.
#pragma once

#include "IOutput.h"

namespace Kalvoro {

class TLinesPage;

// Appends each log, error-list and summary line to its page; a page that is
// nullptr drops its lines. The pages are not owned. Registered with its
// scenario from construction to destruction (TOutput).
class TMemoOutput : public TOutput {
public:
  TMemoOutput(TTestScenario* aTestScenario, TLinesPage* aLogMemo, TLinesPage* aErrorMemo,
              TLinesPage* aSummaryMemo,
              const TFormatSettings& aSettings = GetDefaultFormatSettings(),
              TClock aClock = CurrentDateTime);
  ~TMemoOutput() override;

protected:
  void WriteLog(const std::string& aText) override;
  void WriteError(const std::string& aText) override;
  void WriteSummary(const std::string& aText) override;

private:
  TLinesPage* FLogMemo;
  TLinesPage* FErrorMemo;
  TLinesPage* FSummaryMemo;
};

} // namespace Kalvoro
