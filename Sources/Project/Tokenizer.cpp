#include "Tokenizer.h"

namespace Kalvoro {

TTokenizer::TTokenizer(std::string aText, char aDelimiter)
    : FDelimiter(aDelimiter), FText(std::move(aText)) {}

std::string TTokenizer::NextToken() {
  const std::size_t Start = static_cast<std::size_t>(FPosition - 1);
  if (Start >= FText.size())
    return {};
  const std::size_t Stop = FText.find(FDelimiter, Start);
  if (Stop == std::string::npos) {
    FPosition = static_cast<int>(FText.size()) + 1;
    return FText.substr(Start);
  }
  FPosition = static_cast<int>(Stop) + 2;
  return FText.substr(Start, Stop - Start);
}

} // namespace Kalvoro
