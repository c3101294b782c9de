#include "PagesOutput.h"

#include <ostream>
#include <utility>

namespace Kalvoro {

namespace {

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

} // namespace

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

} // namespace Kalvoro
