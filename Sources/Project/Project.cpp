// The project model: its module and scenario lists, the report settings, and
// the assignment of a loaded module's unit tests to their scenarios.
#include "Project.h"

#include "ProjectText.h"
#include "Tokenizer.h"

#include <type_traits>
#include <unistd.h>
#include <unordered_map>
#include <utility>

namespace Kalvoro {

namespace {

constexpr std::string_view StateEnabled = "ENABLED";

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

private:
  static constexpr int ScanLimit = 16;
  using TItem = std::remove_pointer_t<decltype(std::declval<const TList&>().GetItem(0))>;
  const TList& FList;
  std::unordered_map<std::string_view, TItem*> FIndex;
};

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
// TFileInfo

TFileInfo::TFileInfo(TProject* aProject) : FProject(aProject) {
  KALVORO_ASSERT(aProject != nullptr);
  const std::string Directory = ExecutableDirectory();
  FLogFileName = Directory + "Log.txt";
  FErrorFileName = Directory + "Error.txt";
  FSummaryFileName = Directory + "Summary.txt";
}

void TFileInfo::SetSummaryEnabled(bool aValue) {
  FSummaryEnabled = aValue;
  FProject->SetModified();
}

void TFileInfo::SetLogEnabled(bool aValue) {
  FLogEnabled = aValue;
  FProject->SetModified();
}

void TFileInfo::SetErrorEnabled(bool aValue) {
  FErrorEnabled = aValue;
  FProject->SetModified();
}

void TFileInfo::SetLogFileName(std::string aValue) {
  FLogFileName = std::move(aValue);
  FProject->SetModified();
}

void TFileInfo::SetErrorFileName(std::string aValue) {
  FErrorFileName = std::move(aValue);
  FProject->SetModified();
}

void TFileInfo::SetSummaryFileName(std::string aValue) {
  FSummaryFileName = std::move(aValue);
  FProject->SetModified();
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

  std::vector<std::string>& Lines = aModule->Assignments();
  TNameLookup<TUnitTestList> UnitTests(aModule->UnitTestList());
  TNameLookup<TTestScenarioList> Scenarios(FScenarios);
  std::size_t Done = 0;
  try {
    for (; Done < Lines.size(); ++Done) {
      TTokenizer Tokenizer(Lines[Done], '|');
      const std::string UnitTestName = Tokenizer.NextToken();
      const std::string ScenarioName = Tokenizer.NextToken();
      const std::string State = Tokenizer.NextToken();
      TUnitTestBase* UnitTest = UnitTests.Find(UnitTestName);
      TTestScenario* Scenario = Scenarios.Find(ScenarioName);
      if (UnitTest != nullptr && Scenario != nullptr) {
        // A unit test named by two lines follows the later one: it leaves the
        // scenario it is in, so that it never sits in two.
        if (UnitTest->TestScenario() != nullptr)
          UnitTest->TestScenario()->RemoveUnitTest(UnitTest);
        Scenario->AddUnitTest(UnitTest);
        UnitTest->SetEnabled(State == StateEnabled);
        continue;
      }
      Result = false;
      if (UnitTest == nullptr)
        aReport += "* UnitTest " + Quoted(UnitTestName) + " not found.\r";
      if (Scenario == nullptr)
        aReport += "* TestScenario " + Quoted(ScenarioName) + " not found.\r";
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

} // namespace Kalvoro
