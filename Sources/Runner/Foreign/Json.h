// A small reader of JSON text, for the reports that test programs of other
// frameworks write: the whole text is read into a tree of values. Input is
// untrusted: malformed text raises EJson, and nesting is bounded.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Kalvoro {

class EJson : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

struct TJson {
  enum TType { Null, Bool, Number, String, Array, Object };
  TType Type = Null;
  bool Flag = false;
  double Value = 0;
  std::string Text;
  std::vector<TJson> Items;                           // of an array
  std::vector<std::pair<std::string, TJson>> Members; // of an object, in order

  // The member named aName of an object, or null.
  const TJson* Find(std::string_view aName) const;
  // The member's text, or aDefault where it is missing or no string.
  std::string TextOf(std::string_view aName, std::string_view aDefault = {}) const;
  // The member's number, or aDefault where it is missing or no number.
  double NumberOf(std::string_view aName, double aDefault = 0) const;
};

// Reads aText, which must hold one value and nothing but white space after it.
TJson ReadJson(std::string_view aText);

} // namespace Kalvoro
