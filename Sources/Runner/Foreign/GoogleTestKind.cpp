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

} // namespace

bool TGoogleTestKind::Recognises(const std::string& aPath) const {
  return ForeignFrameworkOf(aPath) == TForeignFramework::GoogleTest;
}

void TGoogleTestKind::List(TModule& aModule) {
  const std::optional<std::string> Kept =
      TListingCache::Find(aModule.LoadPath(), TListingCache::What(aModule, Name()));
  std::vector<TUnitTestBase*> UnitTests;
  try {
    UnitTests = ReadListing(aModule, Kept ? *Kept : RunListing(aModule));
  } catch (const EJson& Error) {
    Refuse(aModule, std::string("The test program's list could not be read: ") + Error.what());
  }
  aModule.AdoptListing(std::move(UnitTests), {});
}

std::vector<TUnitTestBase*> TGoogleTestKind::ReadListing(TModule& aModule,
                                                         const std::string& aReport) {
  std::vector<TUnitTestBase*> UnitTests;
  try {
    const TJson List = ReadJson(aReport);
    const TJson* Suites = List.Find("testsuites");
    if (Suites == nullptr || Suites->Type != TJson::Array)
      throw EJson("no test suites");
    for (const TJson& Suite : Suites->Items) {
      std::vector<std::string> Tests;
      if (const TJson* Members = Suite.Find("testsuite"))
        for (const TJson& Test : Members->Items)
          Tests.push_back(Test.TextOf("name"));
      UnitTests.push_back(new TListedUnitTest(&aModule, Suite.TextOf("name"), Tests));
    }
  } catch (const EJson&) {
    for (TUnitTestBase* UnitTest : UnitTests)
      delete UnitTest;
    throw;
  }
  return UnitTests;
}

std::string TGoogleTestKind::RunListing(TModule& aModule) const {
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
  TListingCache::Keep(aModule.LoadPath(), TListingCache::What(aModule, Name()), Stamp, Report);
  return Report;
}

std::unique_ptr<IKindRunner> TGoogleTestKind::MakeRunner(const TWaitHook& aWait) {
  return std::make_unique<TGoogleTestRunner>(aWait);
}

} // namespace Kalvoro
