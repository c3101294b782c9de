#include "Exception.h"

#include <string_view>

namespace Kalvoro {

namespace {

std::string_view SourceUnit(std::string_view aFile) {
#ifdef KALVORO_SOURCE_ROOT
  constexpr std::string_view Root = KALVORO_SOURCE_ROOT;
  if (aFile.starts_with(Root))
    return aFile.substr(Root.size());
#endif
  if (!aFile.starts_with('/'))
    while (aFile.starts_with("./") || aFile.starts_with("../"))
      aFile.remove_prefix(aFile.find('/') + 1);
  return aFile;
}

} // namespace

void AssertionFailed(const char* aUnit, int aLine) {
  throw EAssertionFailed("Assertion failure (" + std::string(SourceUnit(aUnit)) + ", line " +
                         std::to_string(aLine) + ")");
}

void ListIndexError(int aIndex) {
  throw Exception("List index out of bounds (" + std::to_string(aIndex) + ")");
}

std::string WithFullStop(const std::string& aText) {
  if (!aText.empty() && static_cast<unsigned char>(aText.back()) > '.')
    return aText + ".";
  return aText;
}

} // namespace Kalvoro
