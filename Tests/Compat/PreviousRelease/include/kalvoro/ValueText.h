// The text of a value in a failed value check: operator<< where the type has
// one, strings in double quotes, floating-point values in the shortest form
// that reads back exactly, anything else as "<unprintable>".
//
// Every test writer's file includes this header, so it stays light: numbers,
// characters and pointers are formatted out of line (ValueText.cpp), and a
// type's own operator<< writes to a stream that lives there, which keeps the
// standard streams out of what a test includes. A type's operator<< comes
// with the test writer's own includes.
#pragma once

#include "Export.h"

#include <iosfwd>
#include <string>
#include <string_view>
#include <type_traits>

namespace Kalvoro::Detail {

KALVORO_API std::string SignedText(long long aValue);
KALVORO_API std::string UnsignedText(unsigned long long aValue);
KALVORO_API std::string FloatText(float aValue);
KALVORO_API std::string FloatText(double aValue);
KALVORO_API std::string FloatText(long double aValue);
KALVORO_API std::string PointerText(const void* aValue);
KALVORO_API std::string QuotedText(std::string_view aText);

// A string stream of the framework's, for a type's own operator<<.
class KALVORO_API TValueStream {
public:
  TValueStream();
  ~TValueStream();
  TValueStream(const TValueStream&) = delete;
  TValueStream& operator=(const TValueStream&) = delete;
  std::ostream& Stream();
  std::string Text() const;

private:
  void* FStream;
};

template <class T>
concept Streamable = requires(std::ostream& aStream, const T& aValue) {
  aStream << aValue;
};

template <class T>
concept StringLike = std::is_convertible_v<const T&, std::string_view> &&
    !std::is_same_v<std::remove_cvref_t<T>, std::nullptr_t>;

template <class T>
inline constexpr bool IsCharacter =
    std::is_same_v<T, char> || std::is_same_v<T, signed char> || std::is_same_v<T, unsigned char>;

// Character types that the standard streams refuse to print as such.
template <class T>
inline constexpr bool IsWideCharacter = std::is_same_v<T, wchar_t> || std::is_same_v<T, char8_t> ||
                                        std::is_same_v<T, char16_t> || std::is_same_v<T, char32_t>;

template <class T> std::string ValueText(const T& aValue) {
  if constexpr (std::is_pointer_v<T> &&
                std::is_same_v<std::remove_cv_t<std::remove_pointer_t<T>>, char>) {
    if (aValue == nullptr)
      return "nullptr";
    return QuotedText(aValue);
  } else if constexpr (StringLike<T>) {
    return QuotedText(std::string_view(aValue));
  } else if constexpr (std::is_same_v<T, std::nullptr_t>) {
    return "nullptr";
  } else if constexpr (std::is_same_v<T, bool>) {
    return aValue ? "1" : "0";
  } else if constexpr (IsCharacter<T>) {
    return std::string(1, static_cast<char>(aValue));
  } else if constexpr (std::is_floating_point_v<T>) {
    return FloatText(aValue);
  } else if constexpr (std::is_integral_v<T> && !IsWideCharacter<T>) {
    if constexpr (std::is_signed_v<T>)
      return SignedText(aValue);
    else
      return UnsignedText(aValue);
  } else if constexpr (Streamable<T>) {
    TValueStream Stream;
    Stream.Stream() << aValue;
    return Stream.Text();
  } else if constexpr (std::is_enum_v<T> && std::is_convertible_v<T, long long>) {
    // An unscoped enumeration prints as its number, as a stream would print it.
    return ValueText(static_cast<std::underlying_type_t<T>>(aValue));
  } else if constexpr (std::is_pointer_v<T> && std::is_object_v<std::remove_pointer_t<T>>) {
    return PointerText(const_cast<const void*>(static_cast<const volatile void*>(aValue)));
  } else {
    return "<unprintable>";
  }
}

} // namespace Kalvoro::Detail
