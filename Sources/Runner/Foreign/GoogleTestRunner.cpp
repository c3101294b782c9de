#include "GoogleTestRunner.h"

#include "CrashGuard.h"
#include "GoogleTestKind.h"
#include "GoogleTestOutput.h"
#include "GoogleTestStream.h"
#include "Json.h"
#include "KindEvents.h"
#include "TestProgram.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>

namespace Kalvoro {

namespace {

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

} // namespace

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
    const std::string Test = TestName(*Planned.UnitTest, Planned.Method);
    FPlanned[Planned.UnitTest->Module()].push_back(Test);
    if (Planned.Named && Disabled(Test))
      FNamedDisabled.emplace(Planned.UnitTest->Module(), Test);
  }
}

bool TGoogleTestRunner::Disabled(const std::string& aTest) {
  const auto Dot = aTest.find('.');
  return TGoogleTestKind::Disabled(aTest.substr(0, Dot), aTest.substr(Dot + 1));
}

void TGoogleTestRunner::End(bool) {
  FProgram.reset(); // kills what still runs
  FStream.reset();
  if (!FFlagFile.empty())
    unlink(FFlagFile.c_str());
  FFlagFile.clear();
  FRunning = nullptr;
  FPlanned.clear();
  FNamedDisabled.clear();
  FOutcomes.clear();
  FScenario = nullptr;
}

void TGoogleTestRunner::StopNow() {
  FStop = true;
  if (FProgram) {
    FDeath = "Stopped by the user";
    FProgram->Signal(SIGKILL);
  }
}

void TGoogleTestRunner::RunMethod(TUnitTestBase& aUnitTest, int aMethodIndex) {
  const std::string Test = TestName(aUnitTest, aMethodIndex);
  if (Disabled(Test) && FNamedDisabled.count({aUnitTest.Module(), Test}) == 0) {
    TMethodEvents Events(aUnitTest, aMethodIndex);
    Events.Start();
    Events.Skip("Disabled: a DISABLED_ test runs only by name");
    Events.Finish();
    return;
  }
  RunUntilSettled(aUnitTest.Module(), Test);
  FOutcomes[aUnitTest.Module()][Test].Replay(aUnitTest, aMethodIndex);
}

void TGoogleTestRunner::RunUntilSettled(const TModule* aModule, const std::string& aTest) {
  for (;;) {
    TOutcome& Outcome = FOutcomes[aModule][aTest];
    if (Outcome.Settled)
      return;
    if (FProgram && FRunning != aModule) {
      Pump(true); // another module's program ends first
      continue;
    }
    if (!FProgram) {
      if (Outcome.Ended) {
        Outcome.Settled = true;
        return;
      }
      try {
        StartProgram(aModule);
      } catch (const std::exception& Error) {
        Outcome.Death = Error.what();
        Outcome.Ended = Outcome.Settled = true;
        return;
      }
    }
    Pump(true);
  }
}

void TGoogleTestRunner::StartProgram(const TModule* aModule) {
  std::string Filter;
  bool RunsDisabled = false;
  for (const std::string& Test : FPlanned[aModule]) {
    if (FOutcomes[aModule][Test].Ended)
      continue;
    if (Disabled(Test)) {
      if (FNamedDisabled.count({aModule, Test}) == 0)
        continue;
      RunsDisabled = true;
    }
    Filter += (Filter.empty() ? "" : ":") + Test;
  }
  // The selection goes in a flag file: a long one exceeds what an argument
  // may hold.
  std::string Path = (std::filesystem::temp_directory_path() / "kalvoro-gtest-XXXXXX").string();
  const int File = mkstemp(Path.data());
  if (File < 0)
    throw Exception("Unable to write the test program's selection");
  close(File);
  FFlagFile = Path;
  std::ofstream(Path) << "--gtest_filter=" << Filter << "\n"
                      << (RunsDisabled ? "--gtest_also_run_disabled_tests\n" : "");
  // A start that fails leaves no selection file and no listener behind.
  struct TUndo {
    TGoogleTestRunner& Runner;
    bool Done = false;
    ~TUndo() {
      if (Done)
        return;
      unlink(Runner.FFlagFile.c_str());
      Runner.FFlagFile.clear();
      Runner.FStream.reset();
      Runner.FProgram.reset();
      Runner.FRunning = nullptr;
    }
  } Undo{*this};
  FStream = std::make_unique<TGoogleTestStream>();
  TProgramStart Start =
      ModuleProgramStart(*aModule,
                         {"--gtest_flagfile=" + Path,
                          "--gtest_stream_result_to=127.0.0.1:" + std::to_string(FStream->Port()),
                          "--gtest_output=json:/dev/fd/3", "--gtest_color=no"},
                         {"GTEST_FILTER=-*", "GTEST_COLOR=no"});
  // A shuffled run shuffles the program's own order too, by the framework's
  // seed (1 to 99999) drawn from the run's number.
  if (FShuffle)
    Start.Arguments.insert(
        Start.Arguments.begin(),
        {"--gtest_shuffle", "--gtest_random_seed=" + std::to_string(*FShuffle % 99999 + 1)});
  FRunning = aModule;
  FSuite.clear();
  FOpen.clear();
  FDeath.clear();
  FKillAt = 0;
  FProgramEnded = FProgress = false;
  FOutsideParts.clear();
  FOutput.Reset(FOutcomes[aModule]);
  FReport.clear();
  FOpenedAt = NowMs();
  FProgram = std::make_unique<TTestProgram>(Start);
  Undo.Done = true;
}

void TGoogleTestRunner::Handle(const TStreamEvent& aEvent) {
  // What the test printed before this event was sent is in its channels now.
  FOutput.Take(*FProgram, FOpen, false);
  if (aEvent.Name == "TestCaseStart") {
    FSuite = aEvent.Field("name");
  } else if (aEvent.Name == "TestCaseEnd") {
    FSuite.clear();
  } else if (aEvent.Name == "TestStart") {
    FOpen = TGoogleTestKind::FilterName(FSuite, aEvent.Field("name"));
    TOutcome& Outcome = FOutcomes[FRunning][FOpen];
    Outcome.Started = true;
    Outcome.Parts = std::move(FOutsideParts);
    FOutsideParts.clear();
    FOpenedAt = NowMs();
    FProgress = true;
  } else if (aEvent.Name == "TestPartResult") {
    TPart Part{aEvent.Field("file"), aEvent.Field("line"), aEvent.Field("message"), FOpen.empty()};
    (FOpen.empty() ? FOutsideParts : FOutcomes[FRunning][FOpen].Parts).push_back(std::move(Part));
  } else if (aEvent.Name == "TestEnd" && !FOpen.empty()) {
    FOpenedAt = NowMs();
    TOutcome& Outcome = FOutcomes[FRunning][FOpen];
    Outcome.Ended = true;
    Outcome.Passed = aEvent.Field("passed") == "1";
    bool Skipped = false;
    // A pass is final; a failure or a skip is, where the printer's headings
    // tell them apart. Otherwise the report at the program's exit does.
    if (Outcome.Passed) {
      Outcome.Settled = true;
    } else if (Outcome.Headed(Skipped)) {
      Outcome.Skipped = Skipped;
      Outcome.Settled = true;
    }
    FOpen.clear();
  } else if (aEvent.Name == "TestProgramEnd") {
    FProgramEnded = true;
  }
}

int TGoogleTestRunner::WaitMilliseconds() {
  std::int64_t Wait = 100; // a program's end is looked for at least this often
  const double Limit = FScenario != nullptr ? FScenario->TimeLimit() : 0;
  const std::int64_t Now = NowMs();
  if (FKillAt != 0)
    Wait = std::min(Wait, FKillAt - Now);
  else if (Limit > 0)
    Wait = std::min(Wait, FOpenedAt + static_cast<std::int64_t>(Limit * 1000) - Now);
  return static_cast<int>(std::max<std::int64_t>(Wait, 0));
}

void TGoogleTestRunner::Pump(bool aWait) {
  std::vector<TStreamEvent> Events;
  FStream->Read(Events);
  for (const TStreamEvent& Event : Events)
    Handle(Event);
  FOutput.Take(*FProgram, FOpen, false);
  FProgram->ReadReport(FReport);
  if (FProgram->Ended()) {
    EndProgram();
    return;
  }
  const double Limit = FScenario != nullptr ? FScenario->TimeLimit() : 0;
  const std::int64_t Now = NowMs();
  if (FKillAt != 0 && Now >= FKillAt) {
    FProgram->Signal(SIGKILL);
  } else if (FKillAt == 0 && Limit > 0 &&
             Now >= FOpenedAt + static_cast<std::int64_t>(Limit * 1000)) {
    // Past its limit the test ends: asked first, killed 3 s later. Between
    // tests (a suite's set-up, the program's start or end) the limit runs
    // from the last test's end, so that no hang there holds the run.
    FDeath = "Time limit of " + SecondsText(Limit) + " s exceeded";
    FProgram->Signal(SIGTERM);
    FKillAt = Now + 3000;
  }
  if (!aWait)
    return;
  std::vector<int> Descriptors = FProgram->Descriptors();
  const std::vector<int> Stream = FStream->Descriptors();
  Descriptors.insert(Descriptors.end(), Stream.begin(), Stream.end());
  FWait(Descriptors, WaitMilliseconds());
}

void TGoogleTestRunner::EndProgram() {
  // The last events and output, then the report written at a normal exit.
  std::vector<TStreamEvent> Events;
  FStream->Read(Events);
  for (const TStreamEvent& Event : Events)
    Handle(Event);
  FOutput.Take(*FProgram, FOpen, true);
  FProgram->ReadReport(FReport);
  std::map<std::string, TOutcome>& Outcomes = FOutcomes[FRunning];
  if (!FOpen.empty()) {
    TOutcome& Open = Outcomes[FOpen];
    Open.Death = FDeath.empty() ? "Test process " + FProgram->EndText() : FDeath;
    Open.Ended = true;
    Open.Passed = false;
  }
  if (FProgram->ExitedNormally() && !FReport.empty()) {
    try {
      const TJson Report = ReadJson(FReport);
      if (const TJson* Suites = Report.Find("testsuites"))
        for (const TJson& Suite : Suites->Items)
          if (const TJson* Tests = Suite.Find("testsuite"))
            for (const TJson& Test : Tests->Items) {
              const auto Found = Outcomes.find(
                  TGoogleTestKind::FilterName(Suite.TextOf("name"), Test.TextOf("name")));
              if (Found != Outcomes.end() && Found->second.Death.empty())
                Found->second.Skipped = Test.TextOf("result") == "SKIPPED";
            }
    } catch (const EJson&) {
      // A report that cannot be read tells nothing more: failures stay.
    }
  }
  // Killed between tests while a suite had begun (its set-up hangs): the
  // suite's first test not run yet ends with it, and the program starts
  // again for the rest.
  if (FOpen.empty() && !FDeath.empty() && !FSuite.empty())
    for (const std::string& Test : FPlanned[FRunning]) {
      TOutcome& Outcome = Outcomes[Test];
      if (!Outcome.Ended && Test.starts_with(FSuite + ".")) {
        Outcome.Death = FDeath + " in its suite's set-up";
        Outcome.Ended = true;
        FProgress = true;
        break;
      }
    }
  const std::string Ended = FProgram->EndText();
  for (const std::string& Test : FPlanned[FRunning]) {
    TOutcome& Outcome = Outcomes[Test];
    if (Outcome.Ended) {
      Outcome.Settled = true;
      continue;
    }
    // A test not reached runs in the next start, unless this one ran none or
    // ended cleanly without it: it ends then, saying why.
    if (!FProgress || FProgramEnded) {
      Outcome.Death = FProgramEnded     ? "The test program did not run this test"
                      : !FDeath.empty() ? FDeath + " before the test program ran this test"
                                        : "The test program " + Ended + " before it ran this test";
      Outcome.Ended = Outcome.Settled = true;
    }
  }
  FProgram.reset();
  FStream.reset();
  unlink(FFlagFile.c_str());
  FFlagFile.clear();
  FRunning = nullptr;
  FOpen.clear();
}

} // namespace Kalvoro
