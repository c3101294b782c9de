// Finds a sanitizer's report in what a test wrote to its standard error:
// the report's lines, from its first one, to show whole in the log and in
// JUnit, and its first line worded as the exception that ends the method
// ("AddressSanitizer: heap-buffer-overflow on address ...", "runtime error:
// signed integer overflow: ...", "ThreadSanitizer: data race").
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace Kalvoro {

class TSanitizerReport {
public:
  // Takes the next piece of the standard error.
  void Add(std::string_view aPiece);
  // Takes the end of the standard error: a last line without its newline.
  void Finish();
  bool Found() const { return !FLines.empty(); }
  // The report's first line, without the process id and the location.
  const std::string& Headline() const { return FHeadline; }
  const std::vector<std::string>& Lines() const { return FLines; }
  // Forgets what was found, for the next method.
  void Clear();

  // The most lines, and bytes in a line, kept of a report.
  static constexpr std::size_t MostLines = 400;
  static constexpr std::size_t LongestLine = 4096;

private:
  void TakeLine(std::string aLine);

  std::string FLine; // the line being read
  std::string FHeadline;
  std::vector<std::string> FLines;
  bool FEnded = false; // the report's lines have been taken to its end
};

// The headline of a report's first line; empty for a line that begins none.
std::string SanitizerHeadline(std::string_view aLine);

} // namespace Kalvoro
