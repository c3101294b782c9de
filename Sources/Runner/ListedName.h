// How listings show a name (the console's list, the names a filter may
// give): always one line of valid UTF-8, whatever bytes the name holds.
#pragma once

#include <string>
#include <string_view>

namespace Kalvoro {

// A name as it is, or, when it is empty, starts or ends with a blank, starts
// with '"' or holds '\', a control character (C0, DEL, C1) or bytes that are
// not UTF-8, between double quotes with '"' and '\' escaped, line breaks and
// tabs as "\n", "\r", "\t" and every other such byte as "\xHH" (each byte of
// a C1 character, each byte of a broken sequence). So every name is one
// line of valid UTF-8, and a name's own blanks are never taken for the
// listing's indentation.
std::string ListedName(std::string_view aName);

// Whether ListedName gives aName unchanged.
bool ListsAsItIs(std::string_view aName);

} // namespace Kalvoro
