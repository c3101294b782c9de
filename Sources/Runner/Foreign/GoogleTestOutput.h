// A GoogleTest program's output split among its tests: standard output by
// the printer's own lines ("[ RUN      ] A.b" to its end line), standard error
// (and standard output where no printer frames the tests) to the test that
// runs as the result stream says. Lines before a test's start line go to
// that test; the printer's framing lines go nowhere, and its end lines give
// their tests' verdicts.
#pragma once

#include "GoogleTestOutcome.h"

#include <map>
#include <string>
#include <vector>

namespace Kalvoro {

class TTestProgram;

class TGoogleTestOutput {
public:
  // Starts over for a new program whose tests' outcomes are aOutcomes.
  void Reset(std::map<std::string, TGoogleTestOutcome>& aOutcomes);
  // Reads what aProgram wrote since the last call and hands out its whole
  // lines; with aAll also an unfinished last line (the program has ended).
  // aOpen: the test that runs as the stream says, or empty.
  void Take(TTestProgram& aProgram, const std::string& aOpen, bool aAll);
  // The stream says aTest started: where no printer frames the tests, the
  // lines read before it that no test took are its own.
  void Started(const std::string& aTest);

private:
  void TakeLines(std::string& aBuffer, const std::string& aOpen, bool aAll, bool aErrors);
  void AddLine(const std::string& aLine, const std::string& aOpen, bool aErrors);
  // Where aLine is the printer's end line of a test not ended yet, keeps its
  // verdict: the last such line before the test's end is the printer's own.
  void Close(const std::string& aLine);

  std::map<std::string, TGoogleTestOutcome>* FOutcomes = nullptr;
  std::string FPrinted;              // the test whose output the printer frames now
  bool FFramed = false;              // the printer framed a test of this program
  std::vector<std::string> FOutside; // output lines before the next test
  std::string FOutput;               // output not yet ended by a new line
  std::string FErrors;
};

} // namespace Kalvoro
