// A stand-in for a program built with Catch2 3, which Debian 12 does not
// ship: it answers the third version's list and run options with reports in
// its format (a "Catch2TestRun" root, a list report of TestCase elements, a
// Skip element), so that the runner's reading of them is tested. It is no
// part of Catch2 and holds none of its code.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

struct TTest {
  const char* Name;
  const char* Class; // empty: the source file is the unit test
  int Line;
  bool Hidden;
  const char* Body; // what the test's report holds
};

const TTest Tests[] = {
    {"Passes", "", 10, false, ""},
    {"Fails with values", "", 11, false,
     "<Expression success=\"false\" type=\"CHECK\" filename=\"c3.cpp\" line=\"12\">"
     "<Original>Three == 4</Original><Expanded>3 == 4</Expanded></Expression>"},
    {"Skips", "", 13, false, "<Skip filename=\"c3.cpp\" line=\"14\">not today</Skip>"},
    {"Is hidden", "", 15, true, ""},
    {"  leading &amp; spaces", "", 16, false, ""},
    {"Uses its fixture", "Fixture", 17, false, ""},
    {"Crashes", "", 18, false, nullptr},
    {"After the crash", "", 19, false, ""},
};

std::string Unescaped(const std::string& aLine) {
  std::string Name;
  for (std::size_t I = 0; I < aLine.size(); ++I)
    Name += aLine[I] == '\\' && I + 1 < aLine.size() ? aLine[++I] : aLine[I];
  return Name;
}

std::string Decoded(const std::string& aName) {
  std::string Name;
  for (std::size_t I = 0; I < aName.size(); ++I) {
    Name += aName[I];
    if (aName.compare(I, 5, "&amp;") == 0)
      I += 4;
  }
  return Name;
}

} // namespace

int main(int aCount, char** aArguments) {
  std::vector<std::string> Arguments(aArguments + 1, aArguments + aCount);
  std::string Out;
  std::set<std::string> Named;
  bool List = false;
  bool All = false;
  for (std::size_t I = 0; I < Arguments.size(); ++I) {
    if (Arguments[I] == "--list-tests")
      List = true;
    else if (Arguments[I] == "*")
      All = true;
    else if ((Arguments[I] == "--out" || Arguments[I] == "-o") && I + 1 < Arguments.size())
      Out = Arguments[++I];
    else if (Arguments[I] == "-f" && I + 1 < Arguments.size()) {
      std::ifstream File(Arguments[++I]);
      for (std::string Line; std::getline(File, Line);)
        Named.insert(Unescaped(Line));
    } else if (Arguments[I] == "--help") {
      std::printf("A Catch2 test executable\n");
      return 0;
    }
  }
  FILE* const Report = std::fopen(Out.c_str(), "w");
  if (Report == nullptr)
    return 1;
  std::setvbuf(Report, nullptr, _IONBF, 0);
  if (List) {
    std::fprintf(Report, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<MatchingTests>\n");
    for (const TTest& Test : Tests)
      if (All || !Test.Hidden)
        std::fprintf(Report,
                     "  <TestCase>\n    <Name>%s</Name>\n    <ClassName>%s</ClassName>\n"
                     "    <Tags>%s</Tags>\n    <SourceInfo>\n      <File>c3.cpp</File>\n"
                     "      <Line>%d</Line>\n    </SourceInfo>\n  </TestCase>\n",
                     Test.Name, Test.Class, Test.Hidden ? "[.]" : "", Test.Line);
    std::fprintf(Report, "</MatchingTests>\n");
    return 0;
  }
  std::fprintf(Report, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Catch2TestRun name=\"c3\" "
                       "rng-seed=\"1\" xml-format-version=\"3\">\n");
  for (const TTest& Test : Tests) {
    const std::string Name = Decoded(Test.Name);
    if (Named.empty() ? Test.Hidden : Named.count(Name) == 0)
      continue;
    // The report trims the name it shows.
    std::fprintf(Report, "  <TestCase name=\"%s\" filename=\"c3.cpp\" line=\"%d\">\n",
                 Test.Name + std::string(Test.Name).find_first_not_of(' '), Test.Line);
    if (Test.Body == nullptr)
      std::raise(SIGSEGV);
    std::printf("printed by %s\n", Name.c_str());
    std::fflush(stdout);
    const bool Failed = std::string(Test.Body).find("success=\"false\"") != std::string::npos;
    const bool Skipped = std::string(Test.Body).find("<Skip") != std::string::npos;
    std::fprintf(Report,
                 "    %s\n    <OverallResult success=\"%s\" skips=\"%d\"/>\n  </TestCase>\n",
                 Test.Body, Failed ? "false" : "true", Skipped ? 1 : 0);
  }
  std::fprintf(Report, "</Catch2TestRun>\n");
  return 0;
}
