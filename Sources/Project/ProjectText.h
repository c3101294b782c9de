// Small text helpers of the project layer's messages and reports.
#pragma once

#include <string>
#include <string_view>

namespace Kalvoro {

// The text between double quotes, as the project's messages name things.
inline std::string Quoted(std::string_view aText) {
  std::string Result;
  Result.reserve(aText.size() + 2);
  Result += '"';
  Result += aText;
  Result += '"';
  return Result;
}

} // namespace Kalvoro
