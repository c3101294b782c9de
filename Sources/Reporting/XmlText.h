// Text for XML 1.0 documents (the JUnit report).
#pragma once

#include <string>
#include <string_view>

namespace Kalvoro {

// Appends aText escaped for XML 1.0 content (aAttribute: for an attribute value
// in double quotes). Bytes that are not valid UTF-8 and characters that XML 1.0
// does not allow become U+FFFD, so the result is always well-formed.
void AppendXmlEscaped(std::string& aXml, std::string_view aText, bool aAttribute);

} // namespace Kalvoro
