#include "GoogleTestKind.h"

#include "CrashGuard.h"
#include "GoogleTestRunner.h"
#include "Json.h"
#include "ListedUnitTest.h"
#include "ListingCache.h"
#include "ModuleLoadText.h"
#include "ProgramBytes.h"
#include "TestProgram.h"

namespace Kalvoro {

namespace {

[[noreturn]] void Refuse(TModule& aModule, const std::string& aWhy) {
  aModule.FailListing(msLoadFailed, aWhy);
  throw TModuleException(LoadFailure(aModule.FullFileName()));
}

// The last lines of what the program wrote to its standard error, for a
// listing that failed.
std::string Tail(const std::string& aText) {
  std::string Text = aText.size() > 2000 ? aText.substr(aText.size() - 2000) : aText;
  while (!Text.empty() && (Text.back() == '\n' || Text.back() == '\r'))
    Text.pop_back();
  return Text;
}

using TSuites = TGoogleTestKind::TSuites;

// The suites and tests of the program's JSON listing; refuses aModule
// where it cannot be read.
TSuites SuitesOfReport(TModule& aModule, const std::string& aReport) {
  TSuites Result;
  try {
    const TJson List = ReadJson(aReport);
    const TJson* Suites = List.Find("testsuites");
    if (Suites == nullptr || Suites->Type != TJson::Array)
      throw EJson("no test suites");
    for (const TJson& Suite : Suites->Items) {
      Result.push_back({Suite.TextOf("name"), {}});
      if (const TJson* Members = Suite.Find("testsuite"))
        for (const TJson& Test : Members->Items)
          Result.back().second.push_back(Test.TextOf("name"));
    }
  } catch (const EJson& Error) {
    Refuse(aModule, std::string("The test program's list could not be read: ") + Error.what());
  }
  return Result;
}

// A listing as it is kept: a line a suite, its name and its tests' names
// apart by tabs (the framework's names are identifiers, '/' and digits).
// Reading the JSON listing again was a fifth of the runner's work on a
// program of 2,000 tests.
std::string KeptText(const TSuites& aSuites) {
  std::string Text;
  for (const auto& [Suite, Tests] : aSuites) {
    Text += Suite;
    for (const std::string& Test : Tests)
      Text += '\t' + Test;
    Text += '\n';
  }
  return Text;
}

TSuites SuitesOfKept(const std::string& aText) {
  TSuites Result;
  for (std::size_t Begin = 0; Begin < aText.size();) {
    std::size_t End = aText.find('\n', Begin);
    if (End == std::string::npos)
      End = aText.size();
    std::size_t Tab = std::min(aText.find('\t', Begin), End);
    Result.push_back({aText.substr(Begin, Tab - Begin), {}});
    while (Tab < End) {
      const std::size_t Next = std::min(aText.find('\t', Tab + 1), End);
      Result.back().second.push_back(aText.substr(Tab + 1, Next - Tab - 1));
      Tab = Next;
    }
    Begin = End + 1;
  }
  return Result;
}

} // namespace

bool TGoogleTestKind::Recognises(const std::string& aPath) const {
  return ForeignFrameworkOf(aPath) == TForeignFramework::GoogleTest;
}

void TGoogleTestKind::List(TModule& aModule) {
  const std::optional<std::string> Kept =
      TListingCache::Find(aModule.LoadPath(), TListingCache::What(aModule, Name()));
  const TSuites Suites = Kept ? SuitesOfKept(*Kept) : RunListing(aModule);
  std::vector<TUnitTestBase*> UnitTests;
  for (const auto& [Suite, Tests] : Suites)
    UnitTests.push_back(new TListedUnitTest(&aModule, Suite, Tests));
  aModule.AdoptListing(std::move(UnitTests), {});
}

TGoogleTestKind::TSuites TGoogleTestKind::RunListing(TModule& aModule) const {
  // A main that never reads the flags runs nothing: the filter in the
  // environment excludes every test, and the flags, which override it,
  // include every test again in a program that reads them.
  const std::string Stamp = TListingCache::Stamp(aModule.LoadPath());
  std::string Output;
  std::string Errors;
  std::string Report;
  try {
    TTestProgram Program(ModuleProgramStart(
        aModule, {"--gtest_list_tests", "--gtest_filter=*", "--gtest_output=json:/dev/fd/3"},
        {"GTEST_FILTER=-*"}));
    if (!Program.Finish(FTimeLimit, PollWait, Output, Errors, Report))
      Refuse(aModule,
             "The test program did not list its tests within " + SecondsText(FTimeLimit) + " s");
    if (!Program.ExitedNormally() || Program.ExitCode() != 0 || Report.empty())
      Refuse(aModule, "The test program " + Program.EndText() + " without listing its tests" +
                          (Errors.empty() ? std::string() : ": " + Tail(Errors)));
  } catch (const TModuleException&) {
    throw;
  } catch (const std::exception& Error) {
    Refuse(aModule, Error.what());
  }
  TSuites Suites = SuitesOfReport(aModule, Report);
  TListingCache::Keep(aModule.LoadPath(), TListingCache::What(aModule, Name()), Stamp,
                      KeptText(Suites));
  return Suites;
}

std::unique_ptr<IKindRunner> TGoogleTestKind::MakeRunner(const TWaitHook& aWait) {
  return std::make_unique<TGoogleTestRunner>(aWait);
}

} // namespace Kalvoro
