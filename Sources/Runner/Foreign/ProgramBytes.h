// What a test program's file says about it, read from its bytes and never
// by running it: string literals survive stripping, and a shared build keeps
// the names it imports.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Kalvoro {

enum class TForeignFramework { None, GoogleTest, Catch2, Doctest, Several };

// Whether the file at aPath holds any of aMarkers.
bool FileHoldsAny(const std::string& aPath, const std::vector<std::string_view>& aMarkers);

// The framework an executable test program was built with, from its bytes;
// Several where they match more than one (a doctest program that uses
// GoogleTest's matchers), None for a file that is no executable or matches
// none.
TForeignFramework ForeignFrameworkOf(const std::string& aPath);

// Whether the executable at aPath was built with Catch2 3, whose list
// options differ from the second version's.
bool IsCatch2Version3(const std::string& aPath);

} // namespace Kalvoro
