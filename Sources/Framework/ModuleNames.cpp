#include "ModuleNames.h"

#include <cstdint>
#include <unordered_map>

namespace Kalvoro {

std::string NameMark(std::string_view aWhole) {
  // FNV-1a, 32 bits: fixed by its definition, unlike std::hash.
  std::uint32_t Hash = 2166136261U;
  for (const char Char : aWhole) {
    Hash ^= static_cast<unsigned char>(Char);
    Hash *= 16777619U;
  }
  static constexpr char Digits[] = "0123456789abcdef";
  std::string Mark = "~";
  for (int Shift = 28; Shift >= 0; Shift -= 4)
    Mark += Digits[(Hash >> Shift) & 0xFU];
  return Mark;
}

void KeepNamesApart(const TUnitTestList& aUnitTests, const std::vector<TLongName>& aLongNames,
                    std::vector<TNameChange>& aChanges) {
  if (aLongNames.empty())
    return;
  std::unordered_map<const TUnitTestBase*, std::string_view> Whole;
  for (const TLongName& Long : aLongNames)
    Whole.emplace(Long.UnitTest, Long.Whole);
  auto WholeName = [&](const TUnitTestBase* aUnitTest) {
    const auto Found = Whole.find(aUnitTest);
    return Found != Whole.end() ? Found->second : std::string_view(aUnitTest->Name());
  };
  std::unordered_multimap<std::string_view, const TUnitTestBase*> ByName;
  for (const TUnitTestBase* UnitTest : aUnitTests)
    ByName.emplace(UnitTest->Name(), UnitTest);

  // Decided on the names as cut, then applied, as the map refers to them.
  std::vector<TNameChange> Changes;
  std::vector<TUnitTestBase*> Changed;
  for (const TLongName& Long : aLongNames) {
    const auto [First, Last] = ByName.equal_range(Long.UnitTest->Name());
    bool Shared = false;
    for (auto Other = First; Other != Last && !Shared; ++Other)
      Shared = WholeName(Other->second) != Long.Whole;
    if (!Shared)
      continue;
    const std::string Mark = NameMark(Long.Whole);
    Changes.push_back(
        {Long.UnitTest->Name(), CutName(Long.Whole, MaxNameLength - Mark.size()) + Mark});
    Changed.push_back(Long.UnitTest);
  }
  for (std::size_t Index = 0; Index < Changes.size(); ++Index) {
    Changed[Index]->SetName(Changes[Index].Given);
    aChanges.push_back(std::move(Changes[Index]));
  }
}

std::string AssignedName(const std::string& aName) {
  if (aName.find('|') == std::string::npos)
    return aName;
  std::string Field;
  for (const char Char : aName) {
    if (Char == '|' || Char == '\\')
      Field += '\\';
    Field += Char;
  }
  return Field;
}

std::string AssignmentLine(const TUnitTestBase& aUnitTest) {
  return AssignedName(aUnitTest.Name()) + "|" + aUnitTest.TestScenario()->Name() + "|" +
         (aUnitTest.Enabled() ? "ENABLED" : "DISABLED");
}

} // namespace Kalvoro
