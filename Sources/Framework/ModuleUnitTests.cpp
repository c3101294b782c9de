// A module's unit tests as a whole: created, taken out of their scenarios a
// scenario at a time, destroyed, and, for a listed module listed again after
// a rebuild, replaced in their places by the new listing's descriptions (no
// assignment lines written and read back).
#include "ModuleUnitTests.h"

#include "UnitTestBase.h"

#include "ModuleLister.h"
#include "ModuleLoading.h"
#include "ModuleNames.h"

#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace Kalvoro {

namespace {

// The scenarios of aUnitTests, each with what is to happen in it, in the
// order first met (a project has few scenarios: a scan finds each).
template <class TItem> class TByScenario {
public:
  std::vector<TItem>& In(TTestScenario* aScenario) {
    for (auto& [Scenario, Items] : FGroups)
      if (Scenario == aScenario)
        return Items;
    return FGroups.emplace_back(aScenario, std::vector<TItem>()).second;
  }
  auto begin() { return FGroups.begin(); }
  auto end() { return FGroups.end(); }

private:
  std::vector<std::pair<TTestScenario*, std::vector<TItem>>> FGroups;
};

// The first field of an assignment line, read both ways a name is written:
// as it is, and with "\|" and "\\" standing for '|' and '\'.
std::pair<std::string_view, std::string> LineNames(std::string_view aLine) {
  std::string Unescaped;
  std::size_t At = 0;
  for (; At < aLine.size() && aLine[At] != '|'; ++At) {
    if (aLine[At] == '\\' && At + 1 < aLine.size() &&
        (aLine[At + 1] == '|' || aLine[At + 1] == '\\'))
      ++At;
    Unescaped += aLine[At];
  }
  return {aLine.substr(0, aLine.find('|')), std::move(Unescaped)};
}

// Takes each unit test of aUnitTests out of its scenario, one pass over each
// scenario's list.
template <class TRange> void LeaveAll(const TRange& aUnitTests) {
  TByScenario<TUnitTestBase*> Leaving;
  for (TUnitTestBase* UnitTest : aUnitTests)
    if (UnitTest->TestScenario() != nullptr)
      Leaving.In(UnitTest->TestScenario()).push_back(UnitTest);
  for (auto& [Scenario, UnitTests] : Leaving)
    Scenario->RemoveUnitTests(UnitTests);
}

} // namespace

void LeaveScenarios(const TUnitTestList& aUnitTests) {
  LeaveAll(aUnitTests);
}

void DestroyUnitTests(TUnitTestList& aUnitTests) {
  // The list is emptied before any destructor runs, as Clear does, but the
  // pointers wait in a buffer of the thread kept for the next unload, and
  // the list keeps its own for the next load: a large buffer freed right
  // after thousands of small objects makes the allocator sort them all at
  // once, and a new one grows again by copies. A destructor that unloads
  // another module finds the buffer taken and has the list cleared as
  // before; so does every unload after a crash in a destructor has jumped
  // out of the loop (the buffer stays reachable, not leaked).
  thread_local std::vector<TUnitTestBase*> Doomed;
  thread_local bool Taken = false;
  if (Taken || !aUnitTests.OwnsObjects()) {
    aUnitTests.Clear();
    return;
  }
  Taken = true;
  Doomed.assign(aUnitTests.begin(), aUnitTests.end());
  aUnitTests.Forget();
  try {
    for (TUnitTestBase* UnitTest : Doomed)
      delete UnitTest;
  } catch (...) {
    // As Clear leaves them: the unit tests after the one that raised.
    Doomed.clear();
    Taken = false;
    throw;
  }
  Doomed.clear();
  Taken = false;
}

void TModuleUnitTests::Add(const TUnitTestBaseClass* aUnitTestClass, void* aInfo) {
  KALVORO_ASSERT(aUnitTestClass != nullptr && aUnitTestClass->Create != nullptr);
  const std::string_view Name =
      aUnitTestClass->Name != nullptr ? aUnitTestClass->Name : std::string_view();
  if (!IsAssignableName(Name)) {
    FModule.FNameChanges.push_back({CutName(Name), {}});
    return;
  }
  // Listed before its Register runs, so that a failed load frees it too, also
  // when a crash has skipped this frame.
  TUnitTestBase* UnitTest = aUnitTestClass->Create(&FModule, aUnitTestClass->Name);
  FModule.FUnitTestList.Add(UnitTest);
  // The load passes where the whole names of long ones go.
  if (Name.size() > MaxNameLength && aInfo != nullptr)
    static_cast<std::vector<TLongName>*>(aInfo)->push_back({UnitTest, std::string(Name)});
  UnitTest->Register();
}

void TModuleUnitTests::Adopt(std::vector<TUnitTestBase*> aUnitTests,
                             std::vector<TNameChange> aChanges) {
  FModule.FUnitTestList.Clear();
  for (TUnitTestBase* UnitTest : aUnitTests)
    FModule.FUnitTestList.Add(UnitTest);
  FModule.FNameChanges = std::move(aChanges);
  FModule.FListed = true;
  FModule.FState = msLoadSuccess;
}

void TModuleUnitTests::SaveAssignments() {
  FModule.FAssignments.clear();
  for (const TUnitTestBase* UnitTest : FModule.FUnitTestList)
    if (UnitTest->TestScenario() != nullptr)
      FModule.FAssignments.push_back(AssignmentLine(*UnitTest));
}

void TModuleUnitTests::ForgetListing() {
  // Descriptions hold no code: forgetting them unloads nothing here.
  SaveAssignments();
  LeaveAll(FModule.FUnitTestList);
  DestroyUnitTests(FModule.FUnitTestList);
  FModule.FListed = false;
  FModule.FState = msNotLoaded;
  FModule.FLoaderError.clear();
  if (IModuleLister* Current = ModuleLister())
    Current->Forget(FModule);
}

bool TModuleUnitTests::Relist(std::vector<std::string>& aReturning) {
  KALVORO_ASSERT(FModule.FListed);
  TUnitTestList& UnitTests = FModule.FUnitTestList;
  std::vector<std::string>& Assignments = FModule.FAssignments;
  // The descriptions before, owned here until they are replaced or let go
  // of; the module forgets its listing as an unload does, and the host that
  // holds the old file lets go of it, so that a fresh one lists the new.
  std::vector<std::unique_ptr<TUnitTestBase>> Old;
  Old.reserve(static_cast<std::size_t>(UnitTests.Count()));
  for (TUnitTestBase* UnitTest : UnitTests)
    Old.emplace_back(UnitTest);
  UnitTests.Forget();
  FModule.FListed = false;
  FModule.FState = msNotLoaded;
  FModule.FLoaderError.clear();
  if (IModuleLister* Current = ModuleLister())
    Current->Forget(FModule);

  // A listing that fails: the old unit tests leave assignment lines and
  // their scenarios, as an unload would have made them.
  auto LetGo = [&] {
    std::vector<std::string> Lines;
    std::vector<TUnitTestBase*> Leaving;
    for (const auto& UnitTest : Old)
      if (UnitTest->TestScenario() != nullptr) {
        Lines.push_back(AssignmentLine(*UnitTest));
        Leaving.push_back(UnitTest.get());
      }
    Lines.insert(Lines.end(), Assignments.begin(), Assignments.end());
    Assignments = std::move(Lines);
    LeaveAll(Leaving);
  };
  bool Listed = false;
  try {
    Listed = FModule.LoadModule();
  } catch (...) {
    LetGo();
    throw;
  }
  if (!Listed || FModule.FState != msLoadSuccess) {
    LetGo();
    return false;
  }

  // Each new unit test takes the place of the old one of its name: where a
  // rebuild changed little, the one at the same index.
  const std::size_t Count = static_cast<std::size_t>(UnitTests.Count());
  std::vector<TUnitTestBase*> Previous(Count, nullptr);
  std::vector<char> Taken(Old.size(), 0);
  for (std::size_t Index = 0; Index < Count && Index < Old.size(); ++Index)
    if (Old[Index]->Name() == UnitTests.GetItem(static_cast<int>(Index))->Name()) {
      Previous[Index] = Old[Index].get();
      Taken[Index] = 1;
    }
  std::unordered_multimap<std::string_view, std::size_t> Rest;
  for (std::size_t Index = 0; Index < Old.size(); ++Index)
    if (Taken[Index] == 0)
      Rest.emplace(Old[Index]->Name(), Index);
  std::unordered_set<std::string> New;
  for (std::size_t Index = 0; Index < Count; ++Index) {
    if (Previous[Index] != nullptr)
      continue;
    const std::string& Name = UnitTests.GetItem(static_cast<int>(Index))->Name();
    if (const auto Found = Rest.find(Name); Found != Rest.end()) {
      Previous[Index] = Old[Found->second].get();
      Taken[Found->second] = 1;
      Rest.erase(Found);
    } else {
      New.insert(AssignedName(Name));
    }
  }

  TByScenario<std::pair<TUnitTestBase*, TUnitTestBase*>> Swaps;
  for (std::size_t Index = 0; Index < Count; ++Index)
    if (Previous[Index] != nullptr && Previous[Index]->TestScenario() != nullptr)
      Swaps.In(Previous[Index]->TestScenario())
          .emplace_back(Previous[Index], UnitTests.GetItem(static_cast<int>(Index)));
  for (auto& [Scenario, Pairs] : Swaps)
    Scenario->SwapUnitTests(Pairs);

  // The gone ones keep their lines; lines kept from before that name a new
  // unit test go back to the project.
  std::vector<std::string> Kept;
  for (std::string& Line : Assignments) {
    const auto [AsWritten, Unescaped] = LineNames(Line);
    if (New.contains(std::string(AsWritten)) || New.contains(AssignedName(Unescaped)))
      aReturning.push_back(std::move(Line));
    else
      Kept.push_back(std::move(Line));
  }
  std::vector<TUnitTestBase*> Gone;
  for (std::size_t Index = 0; Index < Old.size(); ++Index)
    if (Taken[Index] == 0 && Old[Index]->TestScenario() != nullptr) {
      Kept.push_back(AssignmentLine(*Old[Index]));
      Gone.push_back(Old[Index].get());
    }
  Assignments = std::move(Kept);
  LeaveAll(Gone);
  return true;
}

} // namespace Kalvoro
