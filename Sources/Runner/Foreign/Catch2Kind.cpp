#include "Catch2Kind.h"

#include "XmlReader.h"

#include <cstdlib>
#include <fstream>
#include <set>
#include <stdexcept>

namespace Kalvoro {

std::string TCatch2Kind::EscapedName(const std::string& aName) {
  std::string Result;
  for (const char Char : aName) {
    if (Char == '\\' || Char == ',' || Char == '[' || Char == ']' || Char == '*' || Char == '~' ||
        Char == '"' || (Char == '#' && Result.empty()))
      Result += '\\';
    Result += Char;
  }
  return Result;
}

std::string TCatch2Kind::ReportedName(const std::string& aName) const {
  const std::size_t First = aName.find_first_not_of(" \t\r\n");
  if (First == std::string::npos)
    return {};
  return aName.substr(First, aName.find_last_not_of(" \t\r\n") + 1 - First);
}

std::vector<TForeignTest> TCatch2Kind::ReadNames(const std::string& aOutput) {
  std::vector<TForeignTest> Tests;
  std::size_t Start = 0;
  for (std::size_t End; Start < aOutput.size(); Start = End + 1) {
    End = aOutput.find('\n', Start);
    if (End == std::string::npos)
      End = aOutput.size();
    std::string Line = aOutput.substr(Start, End - Start);
    if (!Line.empty() && Line.back() == '\r')
      Line.pop_back();
    const std::size_t At = Line.rfind("\t@");
    const std::size_t Colon = Line.rfind(':');
    if (At == std::string::npos || Colon == std::string::npos || Colon < At)
      throw std::runtime_error("a line without a test's place: \"" + Line + "\"");
    TForeignTest Test;
    Test.Name = Line.substr(0, At);
    // A name that starts with '#' is listed between double quotes.
    if (Test.Name.size() > 2 && Test.Name.starts_with("\"#") && Test.Name.back() == '"')
      Test.Name = Test.Name.substr(1, Test.Name.size() - 2);
    Test.File = Line.substr(At + 2, Colon - At - 2);
    Test.Line = static_cast<unsigned>(std::strtoul(Line.c_str() + Colon + 1, nullptr, 10));
    Test.Group = SourceFileName(Test.File);
    Tests.push_back(std::move(Test));
  }
  return Tests;
}

std::vector<TForeignTest> TCatch2Kind::ReadListReport(const std::string& aReport) {
  std::vector<TForeignTest> Tests;
  std::string Text; // of the element that closes next
  std::string ClassName;
  for (const TXmlEvent& Event : WholeXmlEvents(aReport)) {
    if (Event.Type == TXmlEvent::Text) {
      Text += Event.Content;
      continue;
    }
    if (Event.Type == TXmlEvent::Start) {
      Text.clear();
      if (Event.Name == "TestCase") {
        Tests.emplace_back();
        ClassName.clear();
      }
      continue;
    }
    if (Tests.empty())
      continue;
    TForeignTest& Test = Tests.back();
    if (Event.Name == "Name")
      Test.Name = Text;
    else if (Event.Name == "ClassName")
      ClassName = Text;
    else if (Event.Name == "File")
      Test.File = Text;
    else if (Event.Name == "Line")
      Test.Line = static_cast<unsigned>(std::strtoul(Text.c_str(), nullptr, 10));
    else if (Event.Name == "TestCase")
      Test.Group = ClassName.empty() ? SourceFileName(Test.File) : ClassName;
    Text.clear();
  }
  return Tests;
}

std::vector<TForeignTest> TCatch2Kind::ListTests(TModule& aModule) const {
  // "*" lists the hidden tests too; no pattern leaves them out, so those
  // only in the first listing are hidden. The second version lists names
  // and places as text, and its exit code is the number of tests listed;
  // the third lists in its XML report.
  std::string Report;
  const bool Version3 = IsCatch2Version3(aModule.LoadPath());
  const auto List = [&](std::vector<std::string> aArguments) {
    if (!Version3) {
      aArguments.insert(aArguments.begin(), {"--list-test-names-only", "-v", "high"});
      return ReadNames(RunListing(aModule, aArguments, Report));
    }
    aArguments.insert(aArguments.begin(),
                      {"--list-tests", "--reporter", "xml", "--out", "/dev/fd/3"});
    Report.clear();
    RunListing(aModule, aArguments, Report);
    return ReadListReport(Report);
  };
  std::vector<TForeignTest> Tests = List({"*"});
  std::set<std::pair<std::string, unsigned>> Visible;
  for (const TForeignTest& Test : List({}))
    Visible.insert({Test.File + "\n" + Test.Name, Test.Line});
  for (TForeignTest& Test : Tests)
    Test.Marked = Visible.count({Test.File + "\n" + Test.Name, Test.Line}) == 0;
  return Tests;
}

std::vector<std::string> TCatch2Kind::RunArguments(const std::vector<const TForeignTest*>& aTests,
                                                   bool aAll, const std::string& aScratch,
                                                   std::vector<const TForeignTest*>& aBatch) const {
  aBatch = aTests;
  std::vector<std::string> Arguments{"-r", "xml", "-o", "/dev/fd/3", "-d", "yes"};
  if (aAll)
    return Arguments;
  std::ofstream File(aScratch, std::ios::trunc);
  for (const TForeignTest* Test : aTests)
    File << EscapedName(Test->Name) << "\n";
  Arguments.insert(Arguments.end(), {"-f", aScratch});
  return Arguments;
}

} // namespace Kalvoro
