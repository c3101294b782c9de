// The text of a value in a failed value check: operator<< where the type has
// one, strings in double quotes, floating-point values in the shortest form
// that reads back exactly, anything else as "<unprintable>".
#pragma once

#include <charconv>
#include <concepts>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>

namespace Kalvoro::Detail {

template <class T>
concept Streamable = requires(std::ostream& aStream, const T& aValue) {
  aStream << aValue;
};

template <class T>
concept StringLike = std::is_convertible_v<const T&, std::string_view> &&
    !std::is_same_v<std::remove_cvref_t<T>, std::nullptr_t>;

template <class T> std::string ValueText(const T& aValue) {
  if constexpr (std::is_pointer_v<T> &&
                std::is_same_v<std::remove_cv_t<std::remove_pointer_t<T>>, char>) {
    if (aValue == nullptr)
      return "nullptr";
    return "\"" + std::string(aValue) + "\"";
  } else if constexpr (StringLike<T>) {
    return "\"" + std::string(std::string_view(aValue)) + "\"";
  } else if constexpr (std::is_floating_point_v<T>) {
    char Buffer[64];
    const auto Result = std::to_chars(Buffer, Buffer + sizeof Buffer, aValue);
    return std::string(Buffer, Result.ptr);
  } else if constexpr (Streamable<T>) {
    std::ostringstream Stream;
    Stream << aValue;
    return Stream.str();
  } else {
    return "<unprintable>";
  }
}

} // namespace Kalvoro::Detail
