#include "XmlProgramRunner.h"

#include "CrashGuard.h"
#include "KindEvents.h"
#include "TestProgram.h"
#include "XmlReportKind.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <limits>

namespace Kalvoro {

// One start of a program: the tests it runs and the state of its run.
struct TXmlProgramRunner::TStart {
  std::size_t Unit = 0;
  std::unique_ptr<TTestProgram> Program;
  std::unique_ptr<TXmlTestReport> Report;
  TXmlReader Reader;
  std::set<const TForeignTest*> Batch; // the tests that this start runs
  std::string Scratch;                 // the file its arguments may name
  TTestOutcome* Timed = nullptr;       // the test whose time runs
  TProgramSchedule::TWatch Watch;      // from the timed test's start
  std::string Death;                   // why the runner ended the program
  std::vector<std::string> Outside;    // output lines before the next test
  std::string Output;                  // output not yet ended by a new line
  std::string Errors;

  ~TStart() {
    Program.reset(); // kills what still runs
    if (!Scratch.empty())
      unlink(Scratch.c_str());
  }
};

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
      if (Test->Marked && !Planned.Named)
        continue;
      const std::size_t Unit = FSchedule.UnitOf(*Planned.UnitTest);
      if (Unit == FUnits.size())
        FUnits.push_back({Planned.UnitTest->Module(), {}});
      FUnits[Unit].second.push_back(Test);
      FUnitOf[Test] = Unit;
    }
}

void TXmlProgramRunner::End(bool aCompleted) {
  // After a first stop the programs that run ahead may finish.
  if (aCompleted)
    FSchedule.EndRun(
        FStop, [this] { return !FStarts.empty(); }, [this] { Pump(true); });
  FStarts.clear(); // kills what still runs
  FUnits.clear();
  FUnitOf.clear();
  FSchedule.Clear();
  FKeeper.Clear();
  FOutcomes.clear();
  FNamed.clear();
  FScenario = nullptr;
}

void TXmlProgramRunner::StopNow() {
  FStop = true;
  for (const std::unique_ptr<TStart>& Start : FStarts) {
    Start->Death = "Stopped by the user";
    Start->Program->Signal(SIGKILL);
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
  RunUntilEnded(Test);
  TTestOutcome Copy;
  Replay(aUnitTest, aMethodIndex, FKeeper.Take(FOutcomes[Test], Copy));
}

bool TXmlProgramRunner::Pending(std::size_t aUnit) {
  if (FSchedule.Running(aUnit))
    return false;
  const std::vector<const TForeignTest*>& Tests = FUnits[aUnit].second;
  return std::any_of(Tests.begin(), Tests.end(),
                     [&](const TForeignTest* aTest) { return !FOutcomes[aTest].Ended; });
}

void TXmlProgramRunner::RunUntilEnded(const TForeignTest* aTest) {
  const auto Found = FUnitOf.find(aTest);
  if (Found == FUnitOf.end())
    return;
  for (;;) {
    TTestOutcome& Outcome = FOutcomes[aTest];
    if (Outcome.Ended)
      return;
    std::string Error;
    if (!FSchedule.StartWhatMay(
            Found->second, FStop, [this](std::size_t aAt) { return Pending(aAt); },
            [this](std::size_t aAt) { StartProgram(aAt); }, Error)) {
      Outcome.Death = Error;
      Outcome.Ended = true;
      return;
    }
    if (FStarts.empty()) { // nothing runs that could end it
      Outcome.Death = "The test program did not run this test";
      Outcome.Ended = true;
      return;
    }
    Pump(true);
  }
}

void TXmlProgramRunner::StartProgram(std::size_t aUnit) {
  const TModule* const Module = FUnits[aUnit].first;
  std::vector<const TForeignTest*> Remaining;
  for (const TForeignTest* Test : FUnits[aUnit].second)
    if (!FOutcomes[Test].Ended)
      Remaining.push_back(Test);
  auto Start = std::make_unique<TStart>();
  Start->Unit = aUnit;
  std::string Path = (std::filesystem::temp_directory_path() / "kalvoro-tests-XXXXXX").string();
  const int File = mkstemp(Path.data());
  if (File < 0)
    throw Exception("Unable to write the test program's selection");
  close(File);
  Start->Scratch = Path;
  // Every test selected: the program is told no names (matching names is
  // slow in some frameworks, and needless then).
  const bool All = Remaining.size() == FKind.Unmarked(Module) &&
                   std::none_of(Remaining.begin(), Remaining.end(),
                                [](const TForeignTest* aTest) { return aTest->Marked; });
  std::vector<const TForeignTest*> Batch;
  TProgramStart Program =
      ModuleProgramStart(*Module, FKind.RunArguments(Remaining, All, Path, Batch), {});
  // A shuffled run shuffles the program's own order too, by the framework's
  // seed drawn from the run's number.
  if (FShuffle) {
    const std::vector<std::string> Shuffle = FKind.ShuffleArguments(*FShuffle % 99999 + 1);
    Program.Arguments.insert(Program.Arguments.begin(), Shuffle.begin(), Shuffle.end());
  }
  Start->Batch = std::set<const TForeignTest*>(Batch.begin(), Batch.end());
  TStart* const Self = Start.get();
  Start->Report = std::make_unique<TXmlTestReport>(
      [this, Self](const std::string& aName, const std::string& aFile, unsigned aLine) {
        return Find(*Self, aName, aFile, aLine);
      });
  Start->Program = std::make_unique<TTestProgram>(Program);
  FSchedule.Started(aUnit);
  FStarts.push_back(std::move(Start));
}

TTestOutcome* TXmlProgramRunner::Find(TStart& aStart, const std::string& aName,
                                      const std::string& aFile, unsigned aLine) {
  // Catch2 trims the names it reports (the second version at least): so are
  // both sides.
  const std::string Reported = FKind.ReportedName(aName);
  for (const TForeignTest* Test : aStart.Batch) {
    TTestOutcome& Outcome = FOutcomes[Test];
    if (!Outcome.Started && FKind.ReportedName(Test->Name) == Reported && Test->File == aFile &&
        Test->Line == aLine)
      return &Outcome;
  }
  return nullptr;
}

void TXmlProgramRunner::TakeOutput(TStart& aStart, bool aAll) {
  for (std::string* Buffer : {&aStart.Output, &aStart.Errors}) {
    std::size_t Begin = 0;
    auto Add = [&](std::string aLine) {
      if (!aLine.empty() && aLine.back() == '\r')
        aLine.pop_back();
      if (TTestOutcome* Open = aStart.Report->Open())
        Open->Items.push_back({TOutcomeItem::Report, std::move(aLine), {}, 0});
      else
        aStart.Outside.push_back(std::move(aLine));
    };
    for (std::size_t End; (End = Buffer->find('\n', Begin)) != std::string::npos; Begin = End + 1)
      Add(Buffer->substr(Begin, End - Begin));
    Buffer->erase(0, Begin);
    if (aAll && !Buffer->empty()) {
      Add(*Buffer);
      Buffer->clear();
    }
  }
}

void TXmlProgramRunner::ReadReport(TStart& aStart) {
  std::string Chunk;
  aStart.Program->ReadReport(Chunk);
  std::vector<TXmlEvent> Events;
  aStart.Reader.Feed(Chunk, Events);
  for (const TXmlEvent& Event : Events) {
    if (TXmlTestReport::Bounds(Event)) {
      // What the test printed before the report moved on is in its channels.
      aStart.Program->ReadOutput(aStart.Output);
      aStart.Program->ReadErrors(aStart.Errors);
      TakeOutput(aStart, false);
    }
    aStart.Report->Handle(Event);
    TTestOutcome* Open = aStart.Report->Open();
    if (Open != aStart.Timed) {
      aStart.Timed = Open;
      aStart.Watch.OpenedAt = TProgramSchedule::NowMs();
      if (Open != nullptr) {
        std::vector<std::string>& Outside = aStart.Outside;
        Open->Items.insert(Open->Items.begin(), Outside.size(), {});
        for (std::size_t I = 0; I < Outside.size(); ++I)
          Open->Items[I] = {TOutcomeItem::Report, std::move(Outside[I]), {}, 0};
        Outside.clear();
      }
    }
  }
}

void TXmlProgramRunner::Pump(bool aWait) {
  const double Limit = FScenario != nullptr ? FScenario->TimeLimit() : 0;
  std::vector<int> Descriptors;
  std::int64_t Due = std::numeric_limits<std::int64_t>::max();
  for (std::size_t I = 0; I < FStarts.size();) {
    TStart& Start = *FStarts[I];
    ReadReport(Start);
    Start.Program->ReadOutput(Start.Output);
    Start.Program->ReadErrors(Start.Errors);
    TakeOutput(Start, false);
    if (Start.Program->Ended()) {
      EndProgram(Start);
      FSchedule.Ended(Start.Unit);
      FStarts.erase(FStarts.begin() + static_cast<std::ptrdiff_t>(I));
      aWait = false; // the run may go on now
      continue;
    }
    ++I;
    // Asked first at the limit, the framework closes its report.
    Due = std::min(Due, TProgramSchedule::Watch(*Start.Program, Start.Watch, Start.Timed != nullptr,
                                                Limit, Start.Death));
    const std::vector<int> Some = Start.Program->Descriptors();
    Descriptors.insert(Descriptors.end(), Some.begin(), Some.end());
  }
  if (aWait && !FStarts.empty())
    TProgramSchedule::Wait(FWait, Descriptors, Due);
}

void TXmlProgramRunner::EndProgram(TStart& aStart) {
  // The program has ended; what its children still hold open is not waited
  // for.
  ReadReport(aStart);
  aStart.Program->ReadOutput(aStart.Output);
  aStart.Program->ReadErrors(aStart.Errors);
  TakeOutput(aStart, true);
  // After a fatal signal the program does not go on, whatever its exit.
  const bool Clean = aStart.Reader.Closed() && aStart.Program->ExitedNormally() &&
                     aStart.Death.empty() && aStart.Report->LastFatal() == nullptr;
  const std::string Ended = aStart.Program->EndText();
  // The test that the end cut short: open in the report, or closed by the
  // framework's handler of the signal that ended the program.
  TTestOutcome* Cut = aStart.Report->Open();
  if (Cut == nullptr)
    Cut = aStart.Report->LastFatal();
  if (Cut != nullptr && !Clean) {
    // The framework's word for the signal that this runner sent at the
    // time limit says less than the limit does.
    std::vector<TOutcomeItem>& Items = Cut->Items;
    if (!aStart.Death.empty() && !Items.empty() && Items.back().Type == TOutcomeItem::Error &&
        Items.back().Text.starts_with("SIGTERM"))
      Items.pop_back();
    Cut->Death = aStart.Death.empty() ? "Test process " + Ended : aStart.Death;
  }
  if (Cut != nullptr)
    Cut->Ended = true;
  const bool Progress = aStart.Report->Progress();
  for (const TForeignTest* Test : aStart.Batch) {
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
  for (const TForeignTest* Test : aStart.Batch)
    if (FOutcomes[Test].Ended)
      FKeeper.Keep(FOutcomes[Test]);
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
