// The names a module's unit tests get: a name that assignment lines cannot
// hold is refused, and names that share their first MaxNameLength bytes are
// kept apart. Used by the module loader only.
#pragma once

#include "UnitTestBase.h"

#include <string>
#include <string_view>
#include <vector>

namespace Kalvoro {

// A unit test whose registered name was longer than MaxNameLength.
struct TLongName {
  TUnitTestBase* UnitTest;
  std::string Whole;
};

// True when a unit test may be registered under aName: the fields of an
// assignment line are separated by '|', so a unit-test name may not hold one.
inline bool IsAssignableName(std::string_view aName) {
  return aName.find('|') == std::string_view::npos;
}

// A unit test's name as its assignment line's first field: a name holding
// '|' (a test program's) has '\' and '|' escaped by a backslash; any other
// name stays as it is, as earlier versions wrote it. An earlier version
// reads an escaped name as one that is missing, never as another.
std::string AssignedName(const std::string& aName);

// The assignment line of a unit test in a scenario:
// "NAME|SCENARIO|ENABLED" or "...|DISABLED".
std::string AssignmentLine(const TUnitTestBase& aUnitTest);

// A short mark made from the whole name ("~" and eight hexadecimal digits),
// the same in every build and on every platform.
std::string NameMark(std::string_view aWhole);

// Gives every unit test of aLongNames whose cut name another unit test of
// aUnitTests shares, under another whole name, the name cut shorter and
// marked: "first characters~1a2b3c4d". So the name depends on the whole name
// only, not on the order of registration, and an assignment line never names
// another unit test. Appends each change to aChanges.
void KeepNamesApart(const TUnitTestList& aUnitTests, const std::vector<TLongName>& aLongNames,
                    std::vector<TNameChange>& aChanges);

} // namespace Kalvoro
