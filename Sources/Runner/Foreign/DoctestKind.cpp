#include "DoctestKind.h"

#include "XmlReader.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace Kalvoro {

std::string TDoctestKind::EscapedName(const std::string& aName) {
  // '*' and '?' cannot be escaped: they match themselves too, and what else
  // they select is dropped by name and place.
  std::string Result;
  for (const char Char : aName) {
    if (Char == '\\' || Char == ',')
      Result += '\\';
    Result += Char;
  }
  return Result;
}

std::vector<TForeignTest> TDoctestKind::ReadList(const std::string& aReport) {
  std::vector<TForeignTest> Tests;
  for (const TXmlEvent& Event : WholeXmlEvents(aReport)) {
    if (Event.Type != TXmlEvent::Start || Event.Name != "TestCase")
      continue;
    TForeignTest Test;
    Test.Name = Event.Attribute("name");
    Test.File = Event.Attribute("filename");
    Test.Line = static_cast<unsigned>(std::strtoul(Event.Attribute("line").c_str(), nullptr, 10));
    Test.Group = Event.Attribute("testsuite");
    if (Test.Group.empty())
      Test.Group = SourceFileName(Test.File);
    Test.Marked = Event.Attribute("skipped") == "true";
    Tests.push_back(std::move(Test));
  }
  return Tests;
}

std::vector<TForeignTest> TDoctestKind::ListTests(TModule& aModule) const {
  std::string Report;
  RunListing(
      aModule,
      {"--dt-list-test-cases", "--dt-no-skip=true", "--dt-reporters=xml", "--dt-out=/dev/fd/3"},
      Report);
  return ReadList(Report);
}

std::vector<std::string>
TDoctestKind::RunArguments(const std::vector<const TForeignTest*>& aTests, bool aAll,
                           const std::string&, std::vector<const TForeignTest*>& aBatch) const {
  std::vector<std::string> Arguments{"--dt-reporters=xml", "--dt-out=/dev/fd/3",
                                     "--dt-case-sensitive=true"};
  aBatch.clear();
  if (aAll) {
    aBatch = aTests;
    return Arguments;
  }
  // Only the last filter counts: the tests that fit one argument run now,
  // the others in the next start.
  std::string Filter = "--dt-test-case=";
  for (const TForeignTest* Test : aTests) {
    const std::string Name = EscapedName(Test->Name);
    const std::size_t Size = Filter.size() + (aBatch.empty() ? 0 : 1) + Name.size();
    if (Size > MaxArgument && !aBatch.empty())
      break;
    Filter += (aBatch.empty() ? "" : ",") + Name;
    aBatch.push_back(Test);
  }
  Arguments.push_back(Filter);
  // A test marked to skip runs only when named: then it must not be skipped.
  if (std::any_of(aBatch.begin(), aBatch.end(),
                  [](const TForeignTest* aTest) { return aTest->Marked; }))
    Arguments.push_back("--dt-no-skip=true");
  return Arguments;
}

} // namespace Kalvoro
