// The framework's general error type and its assertion macro.
#pragma once

#include "Export.h"

#include <exception>
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

// Raises EAssertionFailed with "Assertion failure (UNIT, line N)".
[[noreturn]] KALVORO_API void AssertionFailed(const char* aUnit, int aLine);

// Raises the lists' index error, "List index out of bounds (N)".
[[noreturn]] KALVORO_API void ListIndexError(int aIndex);

// Appends a full stop to an error text for display, unless the text is empty or
// already ends in a character whose code is not above the full stop's.
KALVORO_API std::string WithFullStop(const std::string& aText);

} // namespace Kalvoro

#define KALVORO_ASSERT(aCondition)                                                                 \
  do {                                                                                             \
    if (!(aCondition))                                                                             \
      ::Kalvoro::AssertionFailed(KALVORO_UNIT, __LINE__);                                          \
  } while (false)
