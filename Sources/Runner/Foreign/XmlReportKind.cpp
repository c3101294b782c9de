#include "XmlReportKind.h"

#include "CrashGuard.h"
#include "FrameworkProbe.h"
#include "ListedUnitTest.h"
#include "ListingCache.h"
#include "ModuleLoadText.h"
#include "TestProgram.h"
#include "XmlProgramRunner.h"

#include <cstdlib>
#include <optional>
#include <stdexcept>

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

std::string SourceFileName(const std::string& aPath) {
  const std::size_t Slash = aPath.find_last_of("/\\");
  return Slash == std::string::npos ? aPath : aPath.substr(Slash + 1);
}

bool TXmlReportKind::Recognises(const std::string& aPath) const {
  const TForeignFramework Framework = ForeignFrameworkOf(aPath);
  if (Framework == TForeignFramework::Several)
    return ProbedFramework(aPath) == FFramework;
  return Framework == FFramework;
}

std::string TXmlReportKind::RunListing(TModule& aModule, const std::vector<std::string>& aArguments,
                                       std::string& aReport) const {
  // Kept as the output's length, the output and the report.
  std::string What = TListingCache::What(aModule, Name());
  for (const std::string& Argument : aArguments)
    What += '\0' + Argument;
  if (const std::optional<std::string> Kept = TListingCache::Find(aModule.LoadPath(), What)) {
    const std::size_t Break = Kept->find('\n');
    const std::size_t Size = std::strtoull(Kept->c_str(), nullptr, 10);
    if (Break != std::string::npos && Break + 1 + Size <= Kept->size()) {
      aReport = Kept->substr(Break + 1 + Size);
      return Kept->substr(Break + 1, Size);
    }
  }
  const std::string Stamp = TListingCache::Stamp(aModule.LoadPath());
  std::string Output;
  std::string Errors;
  try {
    TTestProgram Program(ModuleProgramStart(aModule, aArguments, {}));
    if (!Program.Finish(FTimeLimit, PollWait, Output, Errors, aReport))
      Refuse(aModule,
             "The test program did not list its tests within " + SecondsText(FTimeLimit) + " s");
    // Catch2 exits with the number of tests it listed: an exit code tells
    // of a failure only where nothing was listed.
    if (!Program.ExitedNormally() || (Program.ExitCode() != 0 && Output.empty() && aReport.empty()))
      Refuse(aModule, "The test program " + Program.EndText() + " without listing its tests" +
                          (Errors.empty() ? std::string() : ": " + Tail(Errors)));
  } catch (const TModuleException&) {
    throw;
  } catch (const std::exception& Error) {
    Refuse(aModule, Error.what());
  }
  TListingCache::Keep(aModule.LoadPath(), What, Stamp,
                      std::to_string(Output.size()) + '\n' + Output + aReport);
  return Output;
}

void TXmlReportKind::List(TModule& aModule) {
  FListings.erase(&aModule);
  std::vector<TForeignTest> Tests;
  try {
    Tests = ListTests(aModule);
  } catch (const TModuleException&) {
    throw;
  } catch (const std::exception& Error) {
    Refuse(aModule, std::string("The test program's list could not be read: ") + Error.what());
  }
  // Unit tests in the order their first test is listed.
  std::vector<std::pair<std::string, std::vector<TForeignTest>>> Groups;
  for (TForeignTest& Test : Tests) {
    auto Found = Groups.begin();
    while (Found != Groups.end() && Found->first != Test.Group)
      ++Found;
    if (Found == Groups.end())
      Found = Groups.insert(Groups.end(), {Test.Group, {}});
    Found->second.push_back(std::move(Test));
  }
  std::vector<TUnitTestBase*> UnitTests;
  for (const auto& [Group, Members] : Groups) {
    std::vector<std::string> Names;
    for (const TForeignTest& Test : Members)
      Names.push_back(Test.Name);
    UnitTests.push_back(new TListedUnitTest(&aModule, Group, Names));
  }
  FListings[&aModule] = std::move(Groups);
  aModule.AdoptListing(std::move(UnitTests), {});
}

const TForeignTest* TXmlReportKind::TestOf(const TUnitTestBase& aUnitTest, int aMethodIndex) const {
  const auto Listing = FListings.find(aUnitTest.Module());
  if (Listing == FListings.end() || aMethodIndex < 0)
    return nullptr;
  for (const auto& [Group, Members] : Listing->second)
    if (Group == aUnitTest.Name())
      return static_cast<std::size_t>(aMethodIndex) < Members.size() ? &Members[aMethodIndex]
                                                                     : nullptr;
  return nullptr;
}

std::size_t TXmlReportKind::Unmarked(const TModule* aModule) const {
  std::size_t Count = 0;
  const auto Listing = FListings.find(aModule);
  if (Listing != FListings.end())
    for (const auto& Group : Listing->second)
      for (const TForeignTest& Test : Group.second)
        Count += Test.Marked ? 0 : 1;
  return Count;
}

std::unique_ptr<IKindRunner> TXmlReportKind::MakeRunner(const TWaitHook& aWait) {
  return std::make_unique<TXmlProgramRunner>(*this, aWait);
}

} // namespace Kalvoro
