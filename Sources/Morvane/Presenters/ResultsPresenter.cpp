#include "ResultsPresenter.h"

#include "ChosenMethods.h"
#include "Dialogs.h"
#include "EventLoopWait.h"
#include "IOutput.h"
#include "LinesPage.h"
#include "MemoOutput.h"
#include "Paths.h"
#include "Project.h"
#include "ResultTimes.h"
#include "RunnerCore.h"
#include "Titles.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace Kalvoro {

namespace {

// The page's name in the chooser's title ("Error") and the save title ("Errors").
const char* ChooserName(TResultPage aPage) {
  return aPage == rpSummary ? "Summary" : aPage == rpLog ? "Log" : "Error";
}

const char* PageName(TResultPage aPage) {
  return aPage == rpSummary ? "Summary" : aPage == rpLog ? "Log" : "Errors";
}

bool FileEnabled(const TFileInfo& aInfo, TResultPage aPage) {
  return aPage == rpSummary ? aInfo.SummaryEnabled()
         : aPage == rpLog   ? aInfo.LogEnabled()
                            : aInfo.ErrorEnabled();
}

const std::string& FileName(const TFileInfo& aInfo, TResultPage aPage) {
  return aPage == rpSummary ? aInfo.SummaryFileName()
         : aPage == rpLog   ? aInfo.LogFileName()
                            : aInfo.ErrorFileName();
}

void SetFileEnabled(TFileInfo& aInfo, TResultPage aPage, bool aValue) {
  if (aPage == rpSummary)
    aInfo.SetSummaryEnabled(aValue);
  else if (aPage == rpLog)
    aInfo.SetLogEnabled(aValue);
  else
    aInfo.SetErrorEnabled(aValue);
}

void SetFileName(TFileInfo& aInfo, TResultPage aPage, std::string aValue) {
  if (aPage == rpSummary)
    aInfo.SetSummaryFileName(std::move(aValue));
  else if (aPage == rpLog)
    aInfo.SetLogFileName(std::move(aValue));
  else
    aInfo.SetErrorFileName(std::move(aValue));
}

// An existing file that nobody may write by its permission bits (the owner's,
// group's and others'; what the current user may do says nothing for root).
bool IsReadOnlyFile(const QString& aName) {
  const QFileInfo File(aName);
  constexpr QFile::Permissions Write = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
  return File.exists() && File.isFile() && !(File.permissions() & Write);
}

} // namespace

TResultsPresenter::TResultsPresenter(IDialogs& aDialogs, IResultsView& aView)
    : FDialogs(aDialogs), FView(aView) {
  for (auto& Page : FPages)
    Page = std::make_unique<TLinesPage>();

  MakeCommands();
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
  RefreshTree();
  UpdateFileControls();
  ClearOutput();
}

void TResultsPresenter::Deactivate() {
  FProject = nullptr;
  FRows.clear();
  FHidden.clear();
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
  UpdateHiddenRows();
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

TLinesPage& TResultsPresenter::Page(TResultPage aPage) const {
  return *FPages[aPage];
}

void TResultsPresenter::ClearOutput() {
  for (auto& Page : FPages)
    Page->Clear();
}

const TFileControls& TResultsPresenter::FileControls(TResultPage aPage) const {
  return FFileControls[aPage];
}

void TResultsPresenter::UpdateFileControls() {
  if (FProject == nullptr)
    return;
  // Only shows the settings: unlike a click, this is no change of the project.
  for (TResultPage Page : ResultPages) {
    TFileControls& Controls = FFileControls[Page];
    Controls.FileName = FromPath(FileName(FProject->FileInfo(), Page));
    Controls.ToFile = FileEnabled(FProject->FileInfo(), Page);
    Controls.Editable = Controls.ToFile;
  }
  FView.ShowFileControls();
}

void TResultsPresenter::ToFileClicked(TResultPage aPage, bool aChecked) {
  if (FProject == nullptr)
    return;
  FProject->SetModified();
  SetFileEnabled(FProject->FileInfo(), aPage, aChecked);
  UpdateFileControls();
}

void TResultsPresenter::FileNameEdited(TResultPage aPage, const QString& aText) {
  FFileControls[aPage].FileName = aText;
}

void TResultsPresenter::ChooseFile(TResultPage aPage) {
  if (FProject == nullptr)
    return;
  TFileDialogOptions Options;
  Options.Title = QStringLiteral("Choose the \"%1\" file").arg(QLatin1String(ChooserName(aPage)));
  Options.DefaultSuffix = QStringLiteral("txt");
  Options.FileName = FromPath(ProjectFileName(aPage));
  Options.FileMustExist = false;
  // A read-only file is not accepted: the next run could not write it.
  for (;;) {
    if (!FDialogs.OpenFile(Options))
      return;
    if (!IsReadOnlyFile(Options.FileName))
      break;
    FDialogs.ShowMessage(ApplicationTitle(),
                         Options.FileName +
                             QStringLiteral("\rThis file is set to read-only.\r"
                                            "Try again with a different file name."));
  }
  FProject->SetModified();
  SetFileName(FProject->FileInfo(), aPage, ToPath(Options.FileName));
  UpdateFileControls();
}

void TResultsPresenter::SavePage(TResultPage aPage) {
  if (FProject == nullptr)
    return;
  TFileDialogOptions Options;
  Options.Title = QStringLiteral("Save \"%1\" to file").arg(QLatin1String(PageName(aPage)));
  Options.DefaultSuffix = QStringLiteral("txt");
  Options.FileName = FromPath(ProjectFileName(aPage));
  Options.ConfirmOverwrite = true;
  if (!FDialogs.SaveFile(Options))
    return;
  SaveLinesToFile(ToPath(Options.FileName), Page(aPage).Lines());
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
  for (TResultPage Page : ResultPages)
    FRunFiles[Page] = AbsoluteFileName(ResolvedName(FFileControls[Page].FileName));
  RefuseDestructiveReportFiles();
  ClearOutput();
  const TSinkFactory MakeSink = [this](TTestScenario& aScenario) -> std::unique_ptr<TOutput> {
    return std::make_unique<TMemoOutput>(&aScenario, &Page(rpLog), &Page(rpErrors),
                                         &Page(rpSummary));
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

void TResultsPresenter::RefuseDestructiveReportFiles() const {
  // Writing a page over the project file or a mapped module would destroy it:
  // such a run is refused before anything runs or is written.
  std::vector<std::string> Files;
  for (TResultPage Page : ResultPages)
    if (FFileControls[Page].ToFile)
      Files.push_back(FRunFiles[Page]);
  std::vector<const TModule*> Modules;
  for (const TModule* Module : FProject->Modules())
    if (Module->State() == msLoadSuccess)
      Modules.push_back(Module);
  const std::string Conflict = ReportFileConflict(Files, FProject->FileName(), Modules);
  if (!Conflict.empty())
    throw Exception(Conflict);
}

void TResultsPresenter::SaveReportFiles() {
  if (FProject == nullptr)
    return;
  std::vector<TReportPage> Pages;
  for (TResultPage Page : ResultPages) {
    const TFileControls& Controls = FFileControls[Page];
    Pages.push_back(TReportPage{Controls.ToFile, FRunFiles[Page], &this->Page(Page).Lines()});
  }
  Kalvoro::SaveReportFiles(Pages);
}

std::string TResultsPresenter::ProjectFileName(TResultPage aPage) const {
  return FProject->ResolvePath(FileName(FProject->FileInfo(), aPage));
}

std::string TResultsPresenter::ResolvedName(const QString& aName) const {
  return FProject->ResolvePath(ToPath(aName));
}

} // namespace Kalvoro
