// Report files written line by line as a run makes them, and whole pages
// written at once after it.
#pragma once

#include "MonotonicClock.h"

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace Kalvoro {

// When a stream of lines is flushed: every line at once, so that what a run
// writes can be followed as it happens, except in a flood. A flush is a system
// call, which would cost more than the line itself when a run logs a million
// checks; so within one Interval only the first FloodLines lines are flushed
// one by one, the rest wait for the first line of the next interval (or an
// explicit flush). That bounds the flushes' cost to a few percent of a run.
class TFlushRule {
public:
  static constexpr long long Interval = 5'000'000; // nanoseconds
  static constexpr int FloodLines = 16;

  // Called after each line: true when the stream is to be flushed now.
  bool LineDue() noexcept {
    const long long Now = CoarseMonotonicNanoseconds();
    if (Now - FStart >= Interval) {
      FStart = Now;
      FLines = 0;
    }
    return ++FLines <= FloodLines;
  }

private:
  long long FStart = -Interval;
  int FLines = 0;
};

// A report file written line by line as the lines arrive, each ended by CR LF,
// so that a long run's page need not be held in memory. Opening empties an
// existing file. Lines come from inside a run, where an error must not stop
// it: the first error (opening or writing) is kept, later lines are dropped,
// and Close raises it as Exception("Unable to write to <path>: <reason>").
//
// Each line is handed to the system (flushed) as it is written, except in a
// flood (TFlushRule). A process that is killed outright loses at most the
// tail of a flood; Flush and Close hand over what is left.
class TLinesFile {
public:
  explicit TLinesFile(std::string aPath);
  ~TLinesFile();
  TLinesFile(const TLinesFile&) = delete;
  TLinesFile& operator=(const TLinesFile&) = delete;

  // Writes aLine and CR LF; a CR or LF inside aLine is written as \r or \n.
  void WriteLine(std::string_view aLine) noexcept;
  // Writes aText as it is.
  void Write(std::string_view aText) noexcept;
  // Hands what is written over to the system now.
  void Flush() noexcept;
  // Flushes and closes the file; raises the first error met.
  void Close();

private:
  void Fail(int aError) noexcept;

  std::string FPath;
  std::unique_ptr<char[]> FBuffer;
  std::FILE* FFile = nullptr;
  int FError = 0;
  TFlushRule FFlushRule;
};

// Writes the lines to a text file, each ended by CR LF, replacing an existing
// file as a whole. Raises Exception("Unable to write to <path>: <reason>").
void SaveLinesToFile(const std::string& aPath, const std::vector<std::string>& aLines);
// Writes aText as it is, replacing an existing file; fails like SaveLinesToFile.
void SaveTextToFile(const std::string& aPath, std::string_view aText);

} // namespace Kalvoro
