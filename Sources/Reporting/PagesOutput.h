// A sink whose three pages go to string lists or streams.
#pragma once

#include "Output.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace Kalvoro {

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

} // namespace Kalvoro
