// Splits a text into tokens at a delimiter character.
#pragma once

#include <string>

namespace Kalvoro {

// Reads a text token by token. No trimming, quoting or escaping: two
// delimiters in a row give an empty token, and once the text is used up every
// further token is empty.
class TTokenizer {
public:
  TTokenizer(std::string aText, char aDelimiter);
  ~TTokenizer() = default;

  // The characters from Position up to the next delimiter (or the end), and
  // moves Position past that delimiter.
  std::string NextToken();

  char Delimiter() const { return FDelimiter; }
  const std::string& Text() const { return FText; }
  // 1-based index of the next character to read; 1 after construction.
  int Position() const { return FPosition; }

private:
  char FDelimiter;
  std::string FText;
  int FPosition = 1;
};

} // namespace Kalvoro
