#include "GoogleTestRunner.h"

#include "CrashGuard.h"
#include "GoogleTestKind.h"
#include "GoogleTestStart.h"
#include "KindEvents.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>

namespace Kalvoro {

TGoogleTestRunner::TGoogleTestRunner(TWaitHook aWait) : FWait(std::move(aWait)) {}

TGoogleTestRunner::~TGoogleTestRunner() {
  End(false);
}

std::string TGoogleTestRunner::TestName(const TUnitTestBase& aUnitTest, int aMethodIndex) {
  return TGoogleTestKind::FilterName(aUnitTest.Name(),
                                     aUnitTest.Methods().GetItem(aMethodIndex)->Name());
}

void TGoogleTestRunner::Begin(TTestScenario& aScenario, const std::vector<TPlannedMethod>& aPlan) {
  End(false);
  FScenario = &aScenario;
  FStop = false;
  for (const TPlannedMethod& Planned : aPlan) {
    const TModule* const Module = Planned.UnitTest->Module();
    const std::string Test = TestName(*Planned.UnitTest, Planned.Method);
    if (Planned.Named && Disabled(Test))
      FNamedDisabled.emplace(Module, Test);
    const std::size_t Unit = FSchedule.UnitOf(*Planned.UnitTest);
    if (Unit == FUnits.size())
      FUnits.push_back({Module, {}});
    FUnits[Unit].second.push_back(Test);
    FUnitOf[{Module, Test}] = Unit;
  }
}

bool TGoogleTestRunner::Disabled(const std::string& aTest) {
  const auto Dot = aTest.find('.');
  return TGoogleTestKind::Disabled(aTest.substr(0, Dot), aTest.substr(Dot + 1));
}

bool TGoogleTestRunner::Runs(const TModule* aModule, const std::string& aTest) const {
  return !Disabled(aTest) || FNamedDisabled.count({aModule, aTest}) != 0;
}

void TGoogleTestRunner::End(bool aCompleted) {
  // After a first stop the programs that run ahead may finish.
  if (aCompleted)
    FSchedule.EndRun(
        FStop, [this] { return !FStarts.empty(); }, [this] { Pump(true); });
  FStarts.clear(); // kills what still runs
  FUnits.clear();
  FUnitOf.clear();
  FSchedule.Clear();
  FKeeper.Clear();
  FNamedDisabled.clear();
  FOutcomes.clear();
  FScenario = nullptr;
}

void TGoogleTestRunner::Kill(const std::string& aDeath) {
  for (const std::unique_ptr<TStart>& Start : FStarts) {
    Start->Death = aDeath;
    Start->Program->Signal(SIGKILL);
  }
}

void TGoogleTestRunner::StopNow() {
  FStop = true;
  Kill("Stopped by the user");
}

void TGoogleTestRunner::RunMethod(TUnitTestBase& aUnitTest, int aMethodIndex) {
  const std::string Test = TestName(aUnitTest, aMethodIndex);
  if (!Runs(aUnitTest.Module(), Test)) {
    TMethodEvents Events(aUnitTest, aMethodIndex);
    Events.Start();
    Events.Skip("Disabled: a DISABLED_ test runs only by name");
    Events.Finish();
    return;
  }
  RunUntilSettled(aUnitTest.Module(), Test);
  TOutcome Copy;
  FKeeper.Take(FOutcomes[aUnitTest.Module()][Test], Copy).Replay(aUnitTest, aMethodIndex);
}

bool TGoogleTestRunner::Pending(std::size_t aUnit) {
  const auto& [Module, Tests] = FUnits[aUnit];
  if (FSchedule.Running(aUnit))
    return false;
  std::map<std::string, TOutcome>& Outcomes = FOutcomes[Module];
  return std::any_of(Tests.begin(), Tests.end(), [&](const std::string& aTest) {
    return Runs(Module, aTest) && !Outcomes[aTest].Ended;
  });
}

void TGoogleTestRunner::RunUntilSettled(const TModule* aModule, const std::string& aTest) {
  const auto Found = FUnitOf.find({aModule, aTest});
  if (Found == FUnitOf.end())
    return;
  const std::size_t Unit = Found->second;
  // A look now and then while the run catches up with what was read: a
  // program whose tests are all settled ends then, not after its report.
  if (++FLooks % 32 == 0 && !FStarts.empty())
    Pump(false);
  for (;;) {
    TOutcome& Outcome = FOutcomes[aModule][aTest];
    if (Outcome.Settled)
      return;
    if (!FSchedule.Running(Unit) && Outcome.Ended) {
      Outcome.Settled = true;
      return;
    }
    std::string Error;
    if (!FSchedule.StartWhatMay(
            Unit, FStop, [this](std::size_t aAt) { return Pending(aAt); },
            [this](std::size_t aAt) { StartProgram(aAt); }, Error)) {
      Outcome.Death = Error;
      Outcome.Ended = Outcome.Settled = true;
      return;
    }
    if (FStarts.empty()) { // nothing runs that could settle it
      Outcome.Death = "The test program did not run this test";
      Outcome.Ended = Outcome.Settled = true;
      return;
    }
    Pump(true);
  }
}

void TGoogleTestRunner::StartProgram(std::size_t aUnit) {
  auto Start = std::make_unique<TStart>();
  Start->Unit = aUnit;
  Start->Module = FUnits[aUnit].first;
  const TModule* const Module = Start->Module;
  std::string Filter;
  bool RunsDisabled = false;
  for (const std::string& Test : FUnits[aUnit].second) {
    if (FOutcomes[Module][Test].Ended || !Runs(Module, Test))
      continue;
    RunsDisabled = RunsDisabled || Disabled(Test);
    Filter += (Filter.empty() ? "" : ":") + Test;
    Start->Tests.push_back(Test);
  }
  // The selection goes in a flag file: a long one exceeds what an argument
  // may hold.
  std::string Path = (std::filesystem::temp_directory_path() / "kalvoro-gtest-XXXXXX").string();
  const int File = mkstemp(Path.data());
  if (File < 0)
    throw Exception("Unable to write the test program's selection");
  close(File);
  Start->FlagFile = Path;
  std::ofstream(Path) << "--gtest_filter=" << Filter << "\n"
                      << (RunsDisabled ? "--gtest_also_run_disabled_tests\n" : "");
  Start->Stream = std::make_unique<TGoogleTestStream>();
  std::vector<std::string> Arguments = {"--gtest_flagfile=" + Path,
                                        "--gtest_stream_result_to=127.0.0.1:" +
                                            std::to_string(Start->Stream->Port())};
  Start->AskedReport = FPrinter.NeedsReport(*Module);
  if (Start->AskedReport)
    Arguments.push_back("--gtest_output=json:/dev/fd/3");
  Arguments.push_back("--gtest_color=no");
  TProgramStart Program =
      ModuleProgramStart(*Module, std::move(Arguments), {"GTEST_FILTER=-*", "GTEST_COLOR=no"});
  // A shuffled run shuffles the program's own order too, by the framework's
  // seed (1 to 99999) drawn from the run's number.
  if (FShuffle)
    Program.Arguments.insert(
        Program.Arguments.begin(),
        {"--gtest_shuffle", "--gtest_random_seed=" + std::to_string(*FShuffle % 99999 + 1)});
  Start->Output.Reset(FOutcomes[Module]);
  Start->Watch.OpenedAt = TProgramSchedule::NowMs();
  // A start that fails leaves no selection file and no listener behind.
  Start->Program = std::make_unique<TTestProgram>(Program);
  FSchedule.Started(aUnit);
  FStarts.push_back(std::move(Start));
}

void TGoogleTestRunner::EndProgram(TStart& aStart) {
  // The last events and output, then the report written at a normal exit.
  HandleAll(aStart);
  aStart.Output.Take(*aStart.Program, aStart.Open, true);
  aStart.Program->ReadReport(aStart.Report);
  SettleEndedStart(aStart, FOutcomes[aStart.Module], FKeeper);
  if (aStart.Unclosed || aStart.Framed)
    FPrinter.Saw(*aStart.Module, !aStart.Unclosed);
}

void TGoogleTestRunner::HandleAll(TStart& aStart) {
  std::vector<TStreamEvent> Events;
  aStart.Stream->Read(Events);
  // What the tests printed before these events were sent is in their
  // channels now: read once for all of them (a read per event cost more than
  // the rest of the runner's work).
  if (!Events.empty())
    aStart.Output.Take(*aStart.Program, aStart.Open, false);
  for (const TStreamEvent& Event : Events)
    Handle(aStart, Event);
}

void TGoogleTestRunner::Handle(TStart& aStart, const TStreamEvent& aEvent) {
  std::map<std::string, TOutcome>& Outcomes = FOutcomes[aStart.Module];
  if (aEvent.Name == "TestCaseStart") {
    aStart.Suite = aEvent.Field("name");
  } else if (aEvent.Name == "TestCaseEnd") {
    aStart.Suite.clear();
  } else if (aEvent.Name == "TestStart") {
    aStart.Open = TGoogleTestKind::FilterName(aStart.Suite, aEvent.Field("name"));
    aStart.Output.Started(aStart.Open);
    TOutcome& Outcome = Outcomes[aStart.Open];
    Outcome.Started = true;
    Outcome.Parts = std::move(aStart.OutsideParts);
    aStart.OutsideParts.clear();
    aStart.Watch.OpenedAt = TProgramSchedule::NowMs();
    aStart.Progress = true;
  } else if (aEvent.Name == "TestPartResult") {
    TPart Part{aEvent.Field("file"), aEvent.Field("line"), aEvent.Field("message"),
               aStart.Open.empty()};
    (aStart.Open.empty() ? aStart.OutsideParts : Outcomes[aStart.Open].Parts)
        .push_back(std::move(Part));
  } else if (aEvent.Name == "TestEnd" && !aStart.Open.empty()) {
    aStart.Watch.OpenedAt = TProgramSchedule::NowMs();
    TOutcome& Outcome = Outcomes[aStart.Open];
    Outcome.Ended = true;
    Outcome.Passed = aEvent.Field("passed") == "1";
    aStart.Framed = aStart.Framed || Outcome.Closed != 0;
    bool Skipped = false;
    // A pass is final; a failure or a skip is, where the printer's end line
    // or headings tell them apart. Otherwise the report at the program's exit
    // does.
    if (Outcome.Passed) {
      Outcome.Settled = true;
    } else if (Outcome.Closed != 0) {
      Outcome.Skipped = Outcome.Closed == 'S';
      Outcome.Settled = true;
    } else if (Outcome.Headed(Skipped)) {
      Outcome.Skipped = Skipped;
      Outcome.Settled = true;
    }
    aStart.Open.clear();
  } else if (aEvent.Name == "TestProgramEnd") {
    aStart.ProgramEnded = true;
  }
}

void TGoogleTestRunner::Pump(bool aWait) {
  const double Limit = FScenario != nullptr ? FScenario->TimeLimit() : 0;
  std::vector<int> Descriptors;
  std::int64_t Due = std::numeric_limits<std::int64_t>::max();
  for (std::size_t I = 0; I < FStarts.size();) {
    TStart& Start = *FStarts[I];
    HandleAll(Start);
    Start.Output.Take(*Start.Program, Start.Open, false);
    Start.Program->ReadReport(Start.Report);
    if (Start.Program->Ended()) {
      EndProgram(Start);
      FSchedule.Ended(Start.Unit);
      FStarts.erase(FStarts.begin() + static_cast<std::ptrdiff_t>(I));
      aWait = false; // the run may go on now
      continue;
    }
    ++I;
    // Between tests (a suite's set-up, the program's start or end) the limit
    // runs from the last test's end, so that no hang there holds the run.
    Due = std::min(Due,
                   TProgramSchedule::Watch(*Start.Program, Start.Watch, true, Limit, Start.Death));
    for (const std::vector<int>& Some : {Start.Program->Descriptors(), Start.Stream->Descriptors()})
      Descriptors.insert(Descriptors.end(), Some.begin(), Some.end());
  }
  if (aWait && !FStarts.empty())
    TProgramSchedule::Wait(FWait, Descriptors, Due);
}

} // namespace Kalvoro
