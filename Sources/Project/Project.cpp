// The project model: its module and scenario lists, the report settings, and
// the assignment of a loaded module's unit tests to their scenarios.
#include "Project.h"

#include "ProjectFile.h"
#include "ProjectText.h"

#include <type_traits>
#include <unistd.h>
#include <unordered_map>
#include <utility>

namespace Kalvoro {

namespace {

constexpr std::string_view StateEnabled = "ENABLED";
constexpr std::string_view StateDisabled = "DISABLED";

struct TAssignment {
  std::string_view UnitTest;
  std::string_view Scenario;
  bool Enabled = false;
};

// An assignment line "UNITTEST|SCENARIO|STATE". The unit test is the first
// field, the state the last field from the third on that reads ENABLED or
// DISABLED, and the scenario everything between: a scenario name holding '|'
// reads whole, and fields after the state are ignored. Without such a state
// the second field is the scenario and the unit test is disabled.
TAssignment ReadAssignment(std::string_view aLine) {
  std::vector<std::size_t> Bars;
  for (std::size_t At = aLine.find('|'); At != std::string_view::npos; At = aLine.find('|', At + 1))
    Bars.push_back(At);
  TAssignment Result;
  Result.UnitTest = aLine.substr(0, Bars.empty() ? aLine.size() : Bars[0]);
  if (Bars.empty())
    return Result;
  auto Field = [&](std::size_t aIndex) { // the field after Bars[aIndex]
    const std::size_t Start = Bars[aIndex] + 1;
    const std::size_t Stop = aIndex + 1 < Bars.size() ? Bars[aIndex + 1] : aLine.size();
    return aLine.substr(Start, Stop - Start);
  };
  for (std::size_t Index = Bars.size(); Index-- > 1;) {
    const std::string_view State = Field(Index);
    if (State == StateEnabled || State == StateDisabled) {
      Result.Scenario = aLine.substr(Bars[0] + 1, Bars[Index] - Bars[0] - 1);
      Result.Enabled = State == StateEnabled;
      return Result;
    }
  }
  Result.Scenario = Field(0);
  return Result;
}

// An assignment line whose unit-test field is escaped (a name holding '|':
// "\|" and "\\" stand for '|' and '\'): the name in aName, the rest read
// as ReadAssignment reads it.
TAssignment ReadEscapedAssignment(std::string_view aLine, std::string& aName) {
  std::size_t At = 0;
  for (; At < aLine.size() && aLine[At] != '|'; ++At) {
    if (aLine[At] == '\\' && At + 1 < aLine.size() &&
        (aLine[At + 1] == '|' || aLine[At + 1] == '\\'))
      ++At;
    aName += aLine[At];
  }
  const std::string Rest = "-" + std::string(aLine.substr(At));
  TAssignment Result = ReadAssignment(Rest);
  // The views point into Rest, whose character P is aLine's At + P - 1.
  Result.Scenario =
      Result.Scenario.empty()
          ? std::string_view()
          : aLine.substr(At + static_cast<std::size_t>(Result.Scenario.data() - Rest.data()) - 1,
                         Result.Scenario.size());
  Result.UnitTest = aName;
  return Result;
}

// A name that an earlier version cut inside a UTF-8 character, without that
// character's first bytes: the name as it is cut now.
std::string_view WithoutBrokenEnd(std::string_view aName) {
  if (aName.size() != MaxNameLength)
    return aName;
  std::size_t Start = aName.size();
  while (Start > 0 && aName.size() - Start < 3 &&
         (static_cast<unsigned char>(aName[Start - 1]) & 0xC0) == 0x80)
    --Start;
  if (Start == 0)
    return aName;
  const auto Lead = static_cast<unsigned char>(aName[Start - 1]);
  const std::size_t Length = Lead >= 0xF0 ? 4 : Lead >= 0xE0 ? 3 : Lead >= 0xC0 ? 2 : 1;
  return Length > aName.size() - Start + 1 ? aName.substr(0, Start - 1) : aName;
}

// Looks items up by name: a scan for short lists, a hash index built on first
// use for long ones. The first item of a name wins, as with a scan. The names
// must not change while the lookup is in use.
template <class TList> class TNameLookup {
public:
  explicit TNameLookup(const TList& aList) : FList(aList) {}

  auto Find(std::string_view aName) -> decltype(std::declval<const TList&>().FindByName(aName)) {
    if (FList.Count() <= ScanLimit)
      return FList.FindByName(aName);
    if (FIndex.empty()) {
      FIndex.reserve(static_cast<std::size_t>(FList.Count()));
      for (auto* Item : FList)
        FIndex.try_emplace(std::string_view(Item->Name()), Item);
    }
    const auto Position = FIndex.find(aName);
    return Position == FIndex.end() ? nullptr : Position->second;
  }

  // Also finds an item by a name that an earlier version cut.
  auto FindCut(std::string_view aName) -> decltype(Find(aName)) {
    auto* Item = Find(aName);
    const std::string_view Fitting = WithoutBrokenEnd(aName);
    return Item == nullptr && Fitting.size() != aName.size() ? Find(Fitting) : Item;
  }

private:
  static constexpr int ScanLimit = 16;
  using TItem = std::remove_pointer_t<decltype(std::declval<const TList&>().GetItem(0))>;
  const TList& FList;
  std::unordered_map<std::string_view, TItem*> FIndex;
};

// The report's line for an assignment whose unit test is not found. Unit
// tests that shared the name as cut have been named apart: the line names
// them, as the assignment cannot tell which one it meant.
std::string UnitTestNotFound(const TModule& aModule, std::string_view aName) {
  std::string Apart;
  for (const TNameChange& Change : aModule.NameChanges())
    if (!Change.Given.empty() && Change.Registered == aName)
      Apart += (Apart.empty() ? "" : ", ") + Quoted(Change.Given);
  if (Apart.empty())
    return "* UnitTest " + Quoted(aName) + " not found.\r";
  return "* UnitTest " + Quoted(aName) + " names unit tests whose names share their first " +
         std::to_string(MaxNameLength) + " characters; they are now named apart: " + Apart + ".\r";
}

} // namespace

std::string ExecutableDirectory() {
  std::string Path(4096, '\0');
  const ssize_t Length = ::readlink("/proc/self/exe", Path.data(), Path.size());
  if (Length <= 0 || static_cast<std::size_t>(Length) >= Path.size())
    return {};
  Path.resize(static_cast<std::size_t>(Length));
  return Path.substr(0, Path.rfind('/') + 1);
}

// ---------------------------------------------------------------------------
// TModuleList

TModule* TModuleList::AddByFileName(std::string aFileName) {
  auto Module = std::make_unique<TModule>(std::move(aFileName));
  FItems.Add(Module.get());
  return Module.release();
}

TModule* TModuleList::FindByFileName(std::string_view aFileName) const {
  for (TModule* Module : FItems)
    if (Module->FullFileName() == aFileName)
      return Module;
  return nullptr;
}

int TModuleList::Remove(TModule* aModule) {
  KALVORO_ASSERT(aModule != nullptr);
  return FItems.Remove(aModule);
}

// ---------------------------------------------------------------------------
// TTestScenarioList

int TTestScenarioList::Add(std::unique_ptr<TTestScenario> aScenario) {
  KALVORO_ASSERT(aScenario != nullptr);
  if (FindByName(aScenario->Name()) != nullptr)
    throw Exception(std::string(DuplicateScenarioMessage));
  Append(std::move(aScenario));
  return Count() - 1;
}

TTestScenario* TTestScenarioList::AddByName(std::string_view aName) {
  const std::string Name = CutName(aName);
  if (FindByName(Name) != nullptr)
    throw Exception(std::string(DuplicateScenarioMessage));
  auto Scenario = std::make_unique<TTestScenario>(Name);
  TTestScenario* Result = Scenario.get();
  Append(std::move(Scenario));
  return Result;
}

void TTestScenarioList::Append(std::unique_ptr<TTestScenario> aScenario) {
  FItems.Add(aScenario.get());
  aScenario.release();
}

TTestScenario* TTestScenarioList::FindByName(std::string_view aName) const {
  for (TTestScenario* Scenario : FItems)
    if (Scenario->Name() == aName)
      return Scenario;
  return nullptr;
}

int TTestScenarioList::Remove(TTestScenario* aScenario) {
  KALVORO_ASSERT(aScenario != nullptr);
  return FItems.Remove(aScenario);
}

void TTestScenarioList::Clear() {
  // No unit test may keep referring to a destroyed scenario.
  for (TTestScenario* Scenario : FItems)
    Scenario->RemoveAllUnitTests();
  FItems.Clear();
}

// ---------------------------------------------------------------------------
// TProject

TProject::TProject(std::string aFileName)
    : FFileName(std::move(aFileName)), FFileInfo(std::make_unique<TFileInfo>(this)) {
  if (FFileName.empty())
    FScenarios.Add(std::make_unique<TTestScenario>(DefaultScenarioName));
}

TProject::~TProject() {
  FScenarios.Clear();
  FModules.Clear();
  FFileInfo.reset();
  FModified = false;
}

void TProject::SetFileName(std::string aFileName) {
  FFileName = std::move(aFileName);
  FModified = true;
}

void TProject::SetOptions(const TProjectOptions& aOptions) {
  KALVORO_ASSERT(aOptions.TimeLimit >= 0);
  KALVORO_ASSERT(aOptions.Jobs >= 1);
  FOptions = aOptions;
  FModified = true;
}

std::string TProject::ResolvePath(const std::string& aPath) const {
  if (aPath.empty() || aPath.front() == '/')
    return aPath;
  const std::size_t Slash = FFileName.find_last_of('/');
  return Slash == std::string::npos ? aPath : FFileName.substr(0, Slash + 1) + aPath;
}

bool TProject::LoadAssignments(TModule* aModule, std::string& aReport) {
  KALVORO_ASSERT(aModule != nullptr && aModule->State() == msLoadSuccess);
  bool Result = true;
  aReport +=
      "The following error occurred when loading module " + Quoted(aModule->GetFileName()) + ":\r";
  for (const TNameChange& Change : aModule->NameChanges())
    if (Change.Given.empty()) {
      aReport += "* UnitTest " + Quoted(Change.Registered) +
                 " is not loaded: a unit-test name may not hold \"|\".\r";
      Result = false;
    }

  std::vector<std::string>& Lines = aModule->Assignments();
  TNameLookup<TUnitTestList> UnitTests(aModule->UnitTestList());
  TNameLookup<TTestScenarioList> Scenarios(FScenarios);
  std::size_t Done = 0;
  try {
    for (; Done < Lines.size(); ++Done) {
      TAssignment Assignment = ReadAssignment(Lines[Done]);
      TUnitTestBase* UnitTest = UnitTests.FindCut(Assignment.UnitTest);
      // Not found as written: a name holding '|' is written escaped.
      std::string Unescaped;
      if (UnitTest == nullptr && Lines[Done].find("\\|") != std::string::npos) {
        const TAssignment Escaped = ReadEscapedAssignment(Lines[Done], Unescaped);
        if (TUnitTestBase* Found = UnitTests.FindCut(Escaped.UnitTest)) {
          UnitTest = Found;
          Assignment = Escaped;
        }
      }
      TTestScenario* Scenario = Scenarios.FindCut(Assignment.Scenario);
      if (UnitTest != nullptr && Scenario != nullptr) {
        // A unit test named by two lines follows the later one: it leaves the
        // scenario it is in, so that it never sits in two.
        if (UnitTest->TestScenario() != nullptr)
          UnitTest->TestScenario()->RemoveUnitTest(UnitTest);
        Scenario->AddUnitTest(UnitTest);
        UnitTest->SetEnabled(Assignment.Enabled);
        continue;
      }
      Result = false;
      if (UnitTest == nullptr)
        aReport += UnitTestNotFound(*aModule, WithoutBrokenEnd(Assignment.UnitTest));
      if (Scenario == nullptr)
        aReport += "* TestScenario " + Quoted(Assignment.Scenario) + " not found.\r";
    }
  } catch (...) {
    Lines.erase(Lines.begin(), Lines.begin() + static_cast<std::ptrdiff_t>(Done));
    throw;
  }
  Lines.clear();

  for (const TUnitTestBase* UnitTest : aModule->UnitTestList())
    if (UnitTest->TestScenario() == nullptr) {
      aReport += "* UnitTest " + Quoted(UnitTest->Name()) + " is not assigned to a TestScenario.\r";
      Result = false;
    }
  return Result;
}

bool TProject::LoadProject(std::string& aReport) {
  return TProjectFile(*this).Read(aReport);
}

void TProject::SaveProject() {
  TProjectFile(*this).Write();
}

} // namespace Kalvoro
