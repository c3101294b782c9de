// The out-of-line half of the value checks: the text of numbers, characters
// and pointers, the stream for a type's own operator<<, and the failure paths
// of CheckEqual, CheckNear and CheckThrows. Keeping them here keeps the
// standard streams and <charconv> out of every test writer's file.
#include "UnitTest.h"

#include <cxxabi.h>

#include <charconv>
#include <exception>
#include <sstream>

namespace Kalvoro {

namespace Detail {

namespace {
template <class T> std::string ShortestText(T aValue) {
  char Buffer[64];
  const auto Result = std::to_chars(Buffer, Buffer + sizeof Buffer, aValue);
  return std::string(Buffer, Result.ptr);
}
} // namespace

std::string SignedText(long long aValue) {
  return ShortestText(aValue);
}
std::string UnsignedText(unsigned long long aValue) {
  return ShortestText(aValue);
}
std::string FloatText(float aValue) {
  return ShortestText(aValue);
}
std::string FloatText(double aValue) {
  return ShortestText(aValue);
}
std::string FloatText(long double aValue) {
  return ShortestText(aValue);
}

std::string PointerText(const void* aValue) {
  std::ostringstream Stream;
  Stream << aValue;
  return Stream.str();
}

std::string QuotedText(std::string_view aText) {
  std::string Text;
  Text.reserve(aText.size() + 2);
  Text += '"';
  Text += aText;
  Text += '"';
  return Text;
}

TValueStream::TValueStream() : FStream(new std::ostringstream) {}
TValueStream::~TValueStream() {
  delete static_cast<std::ostringstream*>(FStream);
}
std::ostream& TValueStream::Stream() {
  return *static_cast<std::ostringstream*>(FStream);
}
std::string TValueStream::Text() const {
  return static_cast<const std::ostringstream*>(FStream)->str();
}

} // namespace Detail

bool TUnitTest::ValuesFailed(std::string_view aText, const std::string& aExpected,
                             const std::string& aActual, const std::string* aTolerance,
                             TSourceLocation aWhere) {
  std::string Text(aText);
  Text += " (expected: ";
  Text += aExpected;
  Text += ", actual: ";
  Text += aActual;
  if (aTolerance != nullptr) {
    Text += ", tolerance: ";
    Text += *aTolerance;
  }
  Text += ')';
  return CheckView(false, Text, aWhere);
}

// The sanitizer of undefined behaviour is off here: catching forced unwinding
// by its tag type binds a reference to no object, which is how it is caught
// to be passed on.
__attribute__((no_sanitize("undefined"))) bool
TUnitTest::ThrowsFailed(std::string_view aText, bool aThrown, TSourceLocation aWhere) {
  std::string Text(aText);
  if (!aThrown) {
    Text += " (no exception thrown)";
  } else {
    try {
      throw;
    } catch (abi::__forced_unwind&) {
      throw;
    } catch (const std::exception& Error) {
      Text += " (other exception: ";
      Text += Error.what();
      Text += ')';
    } catch (...) {
      Text += " (other exception: unknown)";
    }
  }
  return CheckView(false, Text, aWhere);
}

} // namespace Kalvoro
