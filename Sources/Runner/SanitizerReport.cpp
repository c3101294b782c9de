#include "SanitizerReport.h"

namespace Kalvoro {

std::string SanitizerHeadline(std::string_view aLine) {
  // "==123==ERROR: AddressSanitizer: ...", "WARNING: ThreadSanitizer: ...
  // (pid=123)", "FILE:LINE:COLUMN: runtime error: ..."
  static constexpr std::string_view Starts[] = {"ERROR: ", "WARNING: "};
  for (const std::string_view Start : Starts) {
    const std::size_t At = aLine.find(Start);
    if (At == std::string_view::npos)
      continue;
    std::string_view Rest = aLine.substr(At + Start.size());
    const std::size_t Name = Rest.find("Sanitizer: ");
    if (Name == std::string_view::npos || Rest.find(' ') < Name)
      continue;
    const std::size_t Pid = Rest.rfind(" (pid=");
    if (Pid != std::string_view::npos && Rest.back() == ')')
      Rest = Rest.substr(0, Pid);
    return std::string(Rest);
  }
  const std::size_t Runtime = aLine.find(": runtime error: ");
  if (Runtime != std::string_view::npos)
    return std::string(aLine.substr(Runtime + 2));
  return {};
}

void TSanitizerReport::Add(std::string_view aPiece) {
  while (!aPiece.empty() && !FEnded) {
    const std::size_t End = aPiece.find('\n');
    const std::string_view Part = aPiece.substr(0, End);
    if (FLine.size() < LongestLine)
      FLine.append(Part.substr(0, LongestLine - FLine.size()));
    if (End == std::string_view::npos)
      return;
    aPiece.remove_prefix(End + 1);
    TakeLine(std::move(FLine));
    FLine.clear();
  }
}

void TSanitizerReport::Finish() {
  if (!FLine.empty() && !FEnded)
    TakeLine(std::move(FLine));
  FLine.clear();
}

void TSanitizerReport::TakeLine(std::string aLine) {
  if (!aLine.empty() && aLine.back() == '\r')
    aLine.pop_back();
  if (FLines.empty()) {
    FHeadline = SanitizerHeadline(aLine);
    if (FHeadline.empty())
      return;
  }
  // A report ends with its summary (ThreadSanitizer's with a rule after it).
  FEnded = aLine.rfind("SUMMARY: ", 0) == 0 || FLines.size() + 1 >= MostLines;
  FLines.push_back(std::move(aLine));
}

void TSanitizerReport::Clear() {
  FLine.clear();
  FHeadline.clear();
  FLines.clear();
  FEnded = false;
}

} // namespace Kalvoro
