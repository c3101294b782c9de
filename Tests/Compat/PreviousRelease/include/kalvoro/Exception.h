// The framework's general error type and its assertion macro.
#pragma once

#include "Export.h"

#include <exception>
#include <source_location>
#include <string>

namespace Kalvoro {

// Every error with a message text that the framework raises, and the base of
// ELoadProject, TModuleException and EAssertionFailed.
class KALVORO_API Exception : public std::exception {
public:
  explicit Exception(std::string aMessage) : FMessage(std::move(aMessage)) {}
  const char* what() const noexcept override { return FMessage.c_str(); }
  const std::string& Message() const noexcept { return FMessage; }

private:
  std::string FMessage;
};

// A violated precondition (a programming error, never a test outcome).
class KALVORO_API EAssertionFailed : public Exception {
public:
  using Exception::Exception;
};

// Where a call stands in the sources: std::source_location, or for a library
// that lacks it (libstdc++ under clang before 15) the same two values from the
// compiler's builtins.
#ifdef __cpp_lib_source_location
using TSourceLocation = std::source_location;
#else
struct TSourceLocation {
  static constexpr TSourceLocation current(const char* aFile = __builtin_FILE(),
                                           unsigned aLine = __builtin_LINE()) noexcept {
    return TSourceLocation{aFile, aLine};
  }
  constexpr const char* file_name() const noexcept { return File; }
  constexpr unsigned line() const noexcept { return Line; }
  const char* File;
  unsigned Line;
};
#endif

// Raises EAssertionFailed with "Assertion failure (UNIT, line N)". UNIT is
// aUnit as the source file's path in the source tree (for example
// "Sources/Framework/UnitTestBase.cpp"), however the compiler was given it:
// absolute, or relative to the build directory.
[[noreturn]] KALVORO_API void AssertionFailed(const char* aUnit, int aLine);
// The same for the place of the call.
[[noreturn]] inline void AssertionFailed(TSourceLocation aWhere = TSourceLocation::current()) {
  AssertionFailed(aWhere.file_name(), static_cast<int>(aWhere.line()));
}

// The message of the exception being handled (call it inside a catch block):
// what() of a std::exception, the text of a thrown const char* or std::string,
// else "Unknown exception of type T" with T the demangled type name. A what()
// that returns nullptr or crashes reads "Exception of type T with no message".
KALVORO_API std::string CurrentExceptionText();

// Raises the lists' index error, "List index out of bounds (N)".
[[noreturn]] KALVORO_API void ListIndexError(int aIndex);

// Appends a full stop to an error text for display, unless the text is empty or
// already ends in a character whose code is not above the full stop's.
KALVORO_API std::string WithFullStop(const std::string& aText);

} // namespace Kalvoro

#define KALVORO_ASSERT(aCondition)                                                                 \
  do {                                                                                             \
    if (!(aCondition))                                                                             \
      ::Kalvoro::AssertionFailed();                                                                \
  } while (false)
