#include "Exception.h"

namespace Kalvoro {

void AssertionFailed(const char* aUnit, int aLine) {
  throw EAssertionFailed("Assertion failure (" + std::string(aUnit) + ", line " +
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
