#include "XmlProgramRunner.h"

#include "CrashGuard.h"
#include "KindEvents.h"
#include "TestProgram.h"
#include "XmlReportKind.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace Kalvoro {

namespace {

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

} // namespace

TXmlProgramRunner::TXmlProgramRunner(TXmlReportKind& aKind, TWaitHook aWait)
    : FKind(aKind), FWait(std::move(aWait)) {}

TXmlProgramRunner::~TXmlProgramRunner() {
  End(false);
}

void TXmlProgramRunner::Begin(TTestScenario& aScenario, const std::vector<TPlannedMethod>& aPlan) {
  End(false);
  FScenario = &aScenario;
  FStop = false;
  for (const TPlannedMethod& Planned : aPlan)
    if (const TForeignTest* Test = FKind.TestOf(*Planned.UnitTest, Planned.Method)) {
      if (Test->Marked && Planned.Named)
        FNamed.insert(Test);
      if (!Test->Marked || Planned.Named)
        FPlanned[Planned.UnitTest->Module()].push_back(Test);
    }
}

void TXmlProgramRunner::End(bool) {
  FProgram.reset(); // kills what still runs
  FReport.reset();
  if (!FScratch.empty())
    unlink(FScratch.c_str());
  FScratch.clear();
  FRunning = nullptr;
  FPlanned.clear();
  FOutcomes.clear();
  FNamed.clear();
  FScenario = nullptr;
}

void TXmlProgramRunner::StopNow() {
  FStop = true;
  if (FProgram) {
    FDeath = "Stopped by the user";
    FProgram->Signal(SIGKILL);
  }
}

void TXmlProgramRunner::RunMethod(TUnitTestBase& aUnitTest, int aMethodIndex) {
  const TForeignTest* Test = FKind.TestOf(aUnitTest, aMethodIndex);
  if (Test == nullptr || (Test->Marked && FNamed.count(Test) == 0)) {
    TMethodEvents Events(aUnitTest, aMethodIndex);
    Events.Start();
    if (Test == nullptr)
      Events.Exception("The test program's listing has no such test");
    else
      Events.Skip(FKind.MarkedText());
    Events.Finish();
    return;
  }
  RunUntilEnded(aUnitTest.Module(), Test);
  Replay(aUnitTest, aMethodIndex, FOutcomes[Test]);
}

void TXmlProgramRunner::RunUntilEnded(const TModule* aModule, const TForeignTest* aTest) {
  for (;;) {
    TTestOutcome& Outcome = FOutcomes[aTest];
    if (Outcome.Ended)
      return;
    if (FProgram && FRunning != aModule) {
      Pump(); // another module's program ends first
      continue;
    }
    if (!FProgram) {
      try {
        StartProgram(aModule);
      } catch (const std::exception& Error) {
        Outcome.Death = Error.what();
        Outcome.Ended = true;
        return;
      }
    }
    Pump();
  }
}

void TXmlProgramRunner::StartProgram(const TModule* aModule) {
  std::vector<const TForeignTest*> Remaining;
  for (const TForeignTest* Test : FPlanned[aModule])
    if (!FOutcomes[Test].Ended)
      Remaining.push_back(Test);
  if (FScratch.empty()) {
    std::string Path = (std::filesystem::temp_directory_path() / "kalvoro-tests-XXXXXX").string();
    const int File = mkstemp(Path.data());
    if (File < 0)
      throw Exception("Unable to write the test program's selection");
    close(File);
    FScratch = Path;
  }
  // Every test selected: the program is told no names (matching names is
  // slow in some frameworks, and needless then).
  const bool All = Remaining.size() == FKind.Unmarked(aModule) &&
                   std::none_of(Remaining.begin(), Remaining.end(),
                                [](const TForeignTest* aTest) { return aTest->Marked; });
  std::vector<const TForeignTest*> Batch;
  TProgramStart Start =
      ModuleProgramStart(*aModule, FKind.RunArguments(Remaining, All, FScratch, Batch), {});
  // A shuffled run shuffles the program's own order too, by the framework's
  // seed drawn from the run's number.
  if (FShuffle) {
    const std::vector<std::string> Shuffle = FKind.ShuffleArguments(*FShuffle % 99999 + 1);
    Start.Arguments.insert(Start.Arguments.begin(), Shuffle.begin(), Shuffle.end());
  }
  FBatch = std::set<const TForeignTest*>(Batch.begin(), Batch.end());
  FRunning = aModule;
  FReader = TXmlReader();
  FReport = std::make_unique<TXmlTestReport>(
      [this](const std::string& aName, const std::string& aFile, unsigned aLine) {
        return Find(aName, aFile, aLine);
      });
  FTimed = nullptr;
  FDeath.clear();
  FKillAt = 0;
  FOutside.clear();
  FOutput.clear();
  FErrors.clear();
  FProgram = std::make_unique<TTestProgram>(Start);
}

TTestOutcome* TXmlProgramRunner::Find(const std::string& aName, const std::string& aFile,
                                      unsigned aLine) {
  for (const TForeignTest* Test : FBatch) {
    TTestOutcome& Outcome = FOutcomes[Test];
    if (!Outcome.Started && FKind.ReportedName(Test->Name) == aName && Test->File == aFile &&
        Test->Line == aLine)
      return &Outcome;
  }
  return nullptr;
}

void TXmlProgramRunner::TakeOutput(bool aAll) {
  for (std::string* Buffer : {&FOutput, &FErrors}) {
    std::size_t Start = 0;
    auto Add = [&](std::string aLine) {
      if (!aLine.empty() && aLine.back() == '\r')
        aLine.pop_back();
      if (TTestOutcome* Open = FReport->Open())
        Open->Items.push_back({TOutcomeItem::Report, std::move(aLine), {}, 0});
      else
        FOutside.push_back(std::move(aLine));
    };
    for (std::size_t End; (End = Buffer->find('\n', Start)) != std::string::npos; Start = End + 1)
      Add(Buffer->substr(Start, End - Start));
    Buffer->erase(0, Start);
    if (aAll && !Buffer->empty()) {
      Add(*Buffer);
      Buffer->clear();
    }
  }
}

void TXmlProgramRunner::ReadReport() {
  std::string Chunk;
  FProgram->ReadReport(Chunk);
  std::vector<TXmlEvent> Events;
  FReader.Feed(Chunk, Events);
  for (const TXmlEvent& Event : Events) {
    if (TXmlTestReport::Bounds(Event)) {
      // What the test printed before the report moved on is in its channels.
      FProgram->ReadOutput(FOutput);
      FProgram->ReadErrors(FErrors);
      TakeOutput(false);
    }
    FReport->Handle(Event);
    TTestOutcome* Open = FReport->Open();
    if (Open != FTimed) {
      FTimed = Open;
      FOpenedAt = NowMs();
      if (Open != nullptr) {
        Open->Items.insert(Open->Items.begin(), FOutside.size(), {});
        for (std::size_t I = 0; I < FOutside.size(); ++I)
          Open->Items[I] = {TOutcomeItem::Report, std::move(FOutside[I]), {}, 0};
        FOutside.clear();
      }
    }
  }
}

int TXmlProgramRunner::WaitMilliseconds() const {
  std::int64_t Wait = 100; // a program's end is looked for at least this often
  const double Limit = FScenario != nullptr ? FScenario->TimeLimit() : 0;
  const std::int64_t Now = NowMs();
  if (FKillAt != 0)
    Wait = std::min(Wait, FKillAt - Now);
  else if (FTimed != nullptr && Limit > 0)
    Wait = std::min(Wait, FOpenedAt + static_cast<std::int64_t>(Limit * 1000) - Now);
  return static_cast<int>(std::max<std::int64_t>(Wait, 0));
}

void TXmlProgramRunner::Pump() {
  ReadReport();
  FProgram->ReadOutput(FOutput);
  FProgram->ReadErrors(FErrors);
  TakeOutput(false);
  if (FProgram->Ended()) {
    EndProgram();
    return;
  }
  const double Limit = FScenario != nullptr ? FScenario->TimeLimit() : 0;
  const std::int64_t Now = NowMs();
  if (FKillAt != 0 && Now >= FKillAt) {
    FProgram->Signal(SIGKILL);
  } else if (FKillAt == 0 && FTimed != nullptr && Limit > 0 &&
             Now >= FOpenedAt + static_cast<std::int64_t>(Limit * 1000)) {
    // Past its limit the test ends: asked first (the framework then closes
    // its report), killed 3 s later.
    FDeath = "Time limit of " + SecondsText(Limit) + " s exceeded";
    FProgram->Signal(SIGTERM);
    FKillAt = Now + 3000;
  }
  FWait(FProgram->Descriptors(), WaitMilliseconds());
}

void TXmlProgramRunner::EndProgram() {
  // The program has ended; what its children still hold open is not waited
  // for.
  ReadReport();
  FProgram->ReadOutput(FOutput);
  FProgram->ReadErrors(FErrors);
  TakeOutput(true);
  // After a fatal signal the program does not go on, whatever its exit.
  const bool Clean = FReader.Closed() && FProgram->ExitedNormally() && FDeath.empty() &&
                     FReport->LastFatal() == nullptr;
  const std::string Ended = FProgram->EndText();
  // The test that the end cut short: open in the report, or closed by the
  // framework's handler of the signal that ended the program.
  TTestOutcome* Cut = FReport->Open();
  if (Cut == nullptr)
    Cut = FReport->LastFatal();
  if (Cut != nullptr && !Clean) {
    // The framework's word for the signal that this runner sent at the
    // time limit says less than the limit does.
    std::vector<TOutcomeItem>& Items = Cut->Items;
    if (!FDeath.empty() && !Items.empty() && Items.back().Type == TOutcomeItem::Error &&
        Items.back().Text.starts_with("SIGTERM"))
      Items.pop_back();
    Cut->Death = FDeath.empty() ? "Test process " + Ended : FDeath;
  }
  if (Cut != nullptr)
    Cut->Ended = true;
  const bool Progress = FReport->Progress();
  for (const TForeignTest* Test : FBatch) {
    TTestOutcome& Outcome = FOutcomes[Test];
    if (Outcome.Ended)
      continue;
    if (Outcome.Started) {
      Outcome.Death = "Test process " + Ended + " while the test ran";
      Outcome.Ended = true;
    } else if (Clean) {
      Outcome.Death = "The test program did not run this test";
      Outcome.Ended = true;
    } else if (!Progress) {
      // A test not reached runs in the next start, unless this one ran none.
      Outcome.Death = "The test program " + Ended + " before it ran this test";
      Outcome.Ended = true;
    }
  }
  FProgram.reset();
  FReport.reset();
  FRunning = nullptr;
  FTimed = nullptr;
  FBatch.clear();
}

void TXmlProgramRunner::Replay(TUnitTestBase& aUnitTest, int aMethodIndex,
                               const TTestOutcome& aOutcome) {
  TMethodEvents Events(aUnitTest, aMethodIndex);
  Events.Start();
  for (const TOutcomeItem& Item : aOutcome.Items) {
    if (Item.Type == TOutcomeItem::Failure)
      Events.Check(false, Item.Text, Item.File, Item.Line);
    else if (Item.Type == TOutcomeItem::Error)
      Events.Exception(Item.Text);
    else
      Events.Report(Item.Text);
  }
  if (!aOutcome.Death.empty())
    Events.Exception(aOutcome.Death);
  if (aOutcome.Skipped)
    Events.Skip({});
  Events.Finish();
}

} // namespace Kalvoro
