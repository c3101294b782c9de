#include "GoogleTestOutput.h"

#include "TestProgram.h"

namespace Kalvoro {

namespace {

// A line that the framework's own printer writes around the tests.
bool PrinterLine(const std::string& aLine) {
  if (aLine.starts_with("Running main() from ") ||
      aLine.starts_with("Note: Google Test filter = ") ||
      aLine.starts_with("Note: Randomizing tests' orders with a seed of "))
    return true;
  if (aLine.size() < 12 || aLine[0] != '[' || aLine[11] != ']')
    return false;
  std::string Tag = aLine.substr(1, 10);
  Tag.erase(0, Tag.find_first_not_of(' '));
  Tag.erase(Tag.find_last_not_of(' ') + 1);
  return Tag == "RUN" || Tag == "OK" || Tag == "FAILED" || Tag == "SKIPPED" || Tag == "PASSED" ||
         Tag == "DISABLED" || Tag == "----------" || Tag == "==========";
}

// The test that a printer line names after its tag: "[ RUN      ] A.b"
// names A.b; an end line adds ", where ..." or " (N ms)".
bool NamesTest(const std::string& aLine, const char* aTag, const std::string& aTest) {
  if (!aLine.starts_with(aTag) || !aLine.substr(13).starts_with(aTest))
    return false;
  const std::string Rest = aLine.substr(13 + aTest.size());
  return Rest.empty() || Rest.starts_with(" (") || Rest.starts_with(", ");
}

} // namespace

void TGoogleTestOutput::Reset(std::map<std::string, TGoogleTestOutcome>& aOutcomes) {
  FOutcomes = &aOutcomes;
  FPrinted.clear();
  FFramed = false;
  FOutside.clear();
  FOutput.clear();
  FErrors.clear();
}

void TGoogleTestOutput::Take(TTestProgram& aProgram, const std::string& aOpen, bool aAll) {
  aProgram.ReadOutput(FOutput);
  aProgram.ReadErrors(FErrors);
  TakeLines(FOutput, aOpen, aAll, false);
  TakeLines(FErrors, aOpen, aAll, true);
}

void TGoogleTestOutput::AddLine(const std::string& aLine, const std::string& aOpen, bool aErrors) {
  std::string Line = aLine;
  if (!Line.empty() && Line.back() == '\r')
    Line.pop_back();
  if (!aErrors) {
    if (FPrinted.empty() && Line.starts_with("[ RUN      ] ")) {
      FFramed = true;
      FPrinted = Line.substr(13);
      // An end line that a test printed for this one before it ran is no
      // verdict.
      (*FOutcomes)[FPrinted].Closed = 0;
      std::vector<std::string>& Lines = (*FOutcomes)[FPrinted].Lines;
      Lines.insert(Lines.end(), FOutside.begin(), FOutside.end());
      FOutside.clear();
      return;
    }
    Close(Line);
    if (!FPrinted.empty() &&
        (NamesTest(Line, "[       OK ] ", FPrinted) || NamesTest(Line, "[  FAILED  ] ", FPrinted) ||
         NamesTest(Line, "[  SKIPPED ] ", FPrinted))) {
      FPrinted.clear();
      return;
    }
  }
  // Standard error has no printer's lines, nor has standard output where the
  // printer frames no test: it goes to the test that runs as far as this
  // side knows.
  const std::string& Test = (aErrors || !FFramed) && !aOpen.empty() ? aOpen : FPrinted;
  if (!Test.empty())
    (*FOutcomes)[Test].Lines.push_back(Line);
  else if (!Line.empty() && !PrinterLine(Line))
    FOutside.push_back(Line);
}

void TGoogleTestOutput::Started(const std::string& aTest) {
  // The printer's start line places them where it runs; output read with
  // later events may hold its end.
  if (FFramed)
    return;
  std::vector<std::string>& Lines = (*FOutcomes)[aTest].Lines;
  Lines.insert(Lines.end(), FOutside.begin(), FOutside.end());
  FOutside.clear();
}

void TGoogleTestOutput::Close(const std::string& aLine) {
  char Verdict = 0;
  for (const auto& [Tag, Letter] :
       {std::pair{"[       OK ] ", 'O'}, std::pair{"[  FAILED  ] ", 'F'},
        std::pair{"[  SKIPPED ] ", 'S'}})
    if (aLine.starts_with(Tag))
      Verdict = Letter;
  if (Verdict == 0)
    return;
  // The framework's names hold no space or comma: the name ends before
  // " (N ms)" or ", where ...".
  const auto Found = FOutcomes->find(aLine.substr(13, aLine.find_first_of(" ,", 13) - 13));
  if (Found != FOutcomes->end() && !Found->second.Ended)
    Found->second.Closed = Verdict;
}

void TGoogleTestOutput::TakeLines(std::string& aBuffer, const std::string& aOpen, bool aAll,
                                  bool aErrors) {
  std::size_t Start = 0;
  for (std::size_t End; (End = aBuffer.find('\n', Start)) != std::string::npos; Start = End + 1)
    AddLine(aBuffer.substr(Start, End - Start), aOpen, aErrors);
  aBuffer.erase(0, Start);
  if (aAll && !aBuffer.empty()) {
    AddLine(aBuffer, aOpen, aErrors);
    aBuffer.clear();
  }
}

} // namespace Kalvoro
