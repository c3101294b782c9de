#include "ResultsPresenter.h"

#include "ChosenMethods.h"
#include "Dialogs.h"
#include "EventLoopWait.h"
#include "IOutput.h"
#include "LinesPage.h"
#include "MemoOutput.h"
#include "Paths.h"
#include "Project.h"
#include "ResultFailures.h"
#include "ResultTimes.h"
#include "RunnerCore.h"
#include "Titles.h"

#include <QClipboard>
#include <QGuiApplication>

#include <algorithm>

namespace Kalvoro {

TResultsPresenter::TResultsPresenter(IDialogs& aDialogs, IResultsView& aView)
    : FDialogs(aDialogs), FView(aView), FPages(aDialogs) {
  FCommands = ResultsCommands(*this);
}

TResultsPresenter::~TResultsPresenter() = default;

void TResultsPresenter::Activate(TProject* aProject) {
  // Another project starts a session of its own: no times, details or marks
  // of the last one.
  if (aProject != FSessionProject) {
    FMarks.Clear();
    FDetails.Clear();
    FLastRun = lrNone;
    FOutOfDate = false;
  }
  FSessionProject = aProject;
  FProject = aProject;
  FPages.SetProject(aProject);
  RefreshTree();
  UpdateFileControls();
  ClearOutput();
}

void TResultsPresenter::Deactivate() {
  FProject = nullptr;
  FPages.SetProject(nullptr);
  FRows.clear();
  FFilter.Apply(FRows);
}

const TResultRow* TResultsPresenter::SelectedRow() const {
  const int Index = FView.CurrentRow();
  if (Index < 0 || static_cast<std::size_t>(Index) >= FRows.size())
    return nullptr;
  return &FRows[static_cast<std::size_t>(Index)];
}

void TResultsPresenter::RefreshTree() {
  if (FProject == nullptr)
    return;
  FRows = ResultRows(FProject->Scenarios());
  FillDurations(FRows, [this](const TUnitTestMethod* aMethod) {
    return aMethod->TestResult() == tcrTodo ? -1.0 : FDetails.Milliseconds(aMethod);
  });
  FMarks.Apply(FRows);
  if (FSortedByDuration)
    FRows = Kalvoro::SortedByDuration(FRows);
  FFilter.Apply(FRows);
  FView.RefreshTree();
}

void TResultsPresenter::RepeatLastRun() {
  if (FProject == nullptr)
    return;
  switch (FLastRun) {
  case lrStart:
    for (TTestScenario* Scenario : FProject->Scenarios())
      if (Scenario->Name() == FLastScenario)
        return Run({Scenario});
    return;
  case lrStartAll:
    return StartAll();
  case lrSelected:
    return RunChosen(TChosenMethods::Selected(FRows, FKept.SelectedAgain(FRows)));
  case lrFailed:
    return RunFailed();
  case lrNone:
    return;
  }
}

void TResultsPresenter::KeepResults(const TProject& aProject) {
  FKept.Keep(aProject);
  // The rows point at unit tests and methods that the reload replaces one
  // module after another, while the event loop turns: none is left to read
  // until RestoreResults builds them from the new ones.
  FRows.clear();
  FFilter.Apply(FRows);
}

void TResultsPresenter::RestoreResults(const TProject& aProject) {
  // Without results there is nothing out of date; the details of methods
  // that are gone are dropped either way.
  if (FKept.Empty()) {
    FDetails.Clear();
    RefreshTree();
    return;
  }
  FDetails.Rekey(FKept.Restore(aProject));
  FOutOfDate = true;
  RefreshTree();
}

void TResultsPresenter::Start() {
  const TResultRow* Row = SelectedRow();
  if (FProject == nullptr || Row == nullptr || Row->Kind != rrkScenario)
    return;
  FLastRun = lrStart;
  FLastScenario = Row->Scenario->Name();
  Run({Row->Scenario});
}

void TResultsPresenter::StartAll() {
  if (FProject == nullptr)
    return;
  FLastRun = lrStartAll;
  std::vector<TTestScenario*> Scenarios;
  for (TTestScenario* Scenario : FProject->Scenarios())
    Scenarios.push_back(Scenario);
  Run(Scenarios);
}

void TResultsPresenter::RunSelected() {
  if (FProject == nullptr)
    return;
  const std::vector<int> Selected = FView.SelectedRows();
  FLastRun = lrSelected;
  FKept.KeepSelection(FRows, Selected);
  RunChosen(TChosenMethods::Selected(FRows, Selected));
}

void TResultsPresenter::RunFailed() {
  if (FProject == nullptr)
    return;
  FLastRun = lrFailed;
  // In the run order, also while the tree is sorted by duration.
  RunChosen(TChosenMethods::Failed(ResultRows(FProject->Scenarios())));
}

void TResultsPresenter::RunChosen(TChosenMethods aPlan) {
  if (aPlan.Empty())
    return;
  // The tree shows this run only: every method left out shows not run.
  for (TTestScenario* Scenario : FProject->Scenarios())
    Scenario->ResetResults();
  // The plan stays on its scenarios for the run; the kind runner records the
  // order from it.
  const TChosenRunScope Scope(aPlan);
  Run(aPlan.Scenarios(), true);
}

void TResultsPresenter::Run(const std::vector<TTestScenario*>& aScenarios, bool aOneWindow) {
  // Each page's file is named now, absolute, as the console runner does: a
  // test that changes the working directory must not move the files written
  // after the run.
  FPages.NameRunFiles();
  ClearOutput();
  const TSinkFactory MakeSink = [this](TTestScenario& aScenario) -> std::unique_ptr<TOutput> {
    return std::make_unique<TMemoOutput>(&aScenario, &Page(pkLog), &Page(pkErrors),
                                         &Page(pkSummary));
  };
  const TProjectOptions& Options = FProject->Options();
  for (TTestScenario* Scenario : aScenarios)
    Scenario->SetTimeLimit(Options.TimeLimit);
  // Each module's methods run through its kind. In hosts nothing of a test
  // runs in this process: a crash, a hang or an exit ends a host, never the
  // program with the user's project. In process, the listed modules load
  // here for the run and unload after.
  TKindRunner Kinds(!Options.Hosts, FWait ? FWait : TWaitHook(EventLoopWait));
  Kinds.SetJobs(Options.Jobs, Options.Serial);
  const TRunStep Step = [&](TTestScenario& aScenario) {
    if (!Kinds.InProcess()) {
      if (FRunStep)
        FRunStep(aScenario, &Kinds);
      else
        Kinds.Run(aScenario);
      return;
    }
    Kinds.Run(aScenario, [&] {
      if (FRunStep)
        FRunStep(aScenario, nullptr);
      else
        aScenario.Run();
    });
  };
  // The details pane's record listens to each scenario while it runs; the
  // output that a method wrote is taken from its runner after it.
  FDetails.Clear();
  FDetails.SetOutputCaptured(!Kinds.InProcess());
  TRunHooks Hooks;
  Hooks.Before = [this](TTestScenario& aScenario) { FDetails.Attach(aScenario); };
  Hooks.After = [this, &Kinds](TTestScenario& aScenario) {
    FDetails.Detach();
    if (Kinds.InProcess())
      return;
    for (const TUnitTestBase* UnitTest : aScenario.UnitTestList())
      for (const TUnitTestMethod* Method : UnitTest->Methods())
        if (Method->TestResult() != tcrTodo)
          FDetails.SetOutput(Method, Kinds.MethodOutput(*Method));
  };
  Hooks.Stopped = [&Kinds] { return Kinds.StopRequested(); };
  const auto RunAll = [&](const TRunStep& aStep) {
    RunScenarios(aScenarios, MakeSink, aStep, Hooks);
  };
  try {
    if (aOneWindow && FWholeRunStep)
      FWholeRunStep(TWholeRun{aScenarios, Kinds.InProcess() ? nullptr : &Kinds, RunAll,
                              [&Kinds](TTestScenario& aScenario) { Kinds.Run(aScenario); }});
    else
      RunAll(Step);
  } catch (...) {
    // The tree shows what ran before the error reaches the user.
    FMarks.Record(FProject->Scenarios());
    RefreshTree();
    throw;
  }
  FMarks.Record(FProject->Scenarios());
  FOutOfDate = false;
  RefreshTree();
  SaveReportFiles();
}

void TResultsPresenter::SetFilter(const QString& aText, unsigned aResults) {
  FFilter.Set(aText, aResults);
  FFilter.Apply(FRows);
  FView.ShowFilter();
}

void TResultsPresenter::NextFailure(bool aForward) {
  const int Row = FFilter.NextFailure(FRows, FView.CurrentRow(), aForward);
  if (Row >= 0)
    FView.SelectRow(Row);
}

bool TResultsPresenter::HasFailureLocation(int aRow) const {
  if (aRow < 0 || static_cast<std::size_t>(aRow) >= FRows.size())
    return false;
  const TResultRow& Row = FRows[static_cast<std::size_t>(aRow)];
  QString File;
  int Line = 0;
  return Row.Kind == rrkMethod && FDetails.FailureLocation(Row.Method, File, Line);
}

QString TResultsPresenter::OpenFailure(int aRow) {
  if (FEditor == nullptr || !HasFailureLocation(aRow))
    return {};
  QString File;
  int Line = 0;
  FDetails.FailureLocation(FRows[static_cast<std::size_t>(aRow)].Method, File, Line);
  return OpenSourceFile(*FEditor, File, Line, FailureFolders(FRows, aRow, FProject));
}

QString TResultsPresenter::FailureText(int aRow) const {
  return Kalvoro::FailureText(FRows, aRow, Page(pkErrors).Lines());
}

bool TResultsPresenter::CanRunSelected() const {
  return FProject != nullptr && !TChosenMethods::Selected(FRows, FView.SelectedRows()).Empty();
}

void TResultsPresenter::OpenCurrentFailure() {
  const QString Status = OpenFailure(FView.CurrentRow());
  if (!Status.isEmpty() && FStatus)
    FStatus(Status);
}

void TResultsPresenter::CopyCurrentFailure() const {
  const QString Text = FailureText(FView.CurrentRow());
  if (FCopy)
    FCopy(Text);
  else if (QClipboard* Clipboard = QGuiApplication::clipboard())
    Clipboard->setText(Text);
}

} // namespace Kalvoro
