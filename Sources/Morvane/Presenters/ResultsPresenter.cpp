#include "ResultsPresenter.h"

#include "ChosenMethods.h"
#include "Dialogs.h"
#include "EventLoopWait.h"
#include "IOutput.h"
#include "LinesPage.h"
#include "MemoOutput.h"
#include "Paths.h"
#include "Project.h"
#include "RunnerCore.h"
#include "Titles.h"

#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>

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

  TCommand Start;
  Start.Name = QStringLiteral("actStart");
  Start.Caption = QStringLiteral("&Start");
  Start.Image = raiStart;
  Start.Shortcut = QKeySequence(Qt::CTRL | Qt::Key_S);
  Start.Hint = QStringLiteral("Start Selected TestScenario| Start the selected TestScenario");
  Start.Rule = [this] {
    const TResultRow* Row = SelectedRow();
    return FProject != nullptr && Row != nullptr && Row->Kind == rrkScenario;
  };
  Start.Effect = [this] { this->Start(); };

  TCommand StartAll;
  StartAll.Name = QStringLiteral("actStartAll");
  StartAll.Caption = QStringLiteral("Start All");
  StartAll.Image = raiStartAll;
  StartAll.Hint = QStringLiteral("Start All TestScenario's| Start all TestScenario's");
  StartAll.Rule = [this] { return !FRows.empty(); };
  StartAll.Effect = [this] { this->StartAll(); };
  StartAll.Places = cpToolBar;

  const struct {
    const char* Name;
    const char* Caption;
    int Image;
    const char* Hint;
    TResultPage Page;
  } Saves[] = {
      {"actSaveSummary", "Save Summary", raiSaveSummary, "Save Summary|Save the summary to a file",
       rpSummary},
      {"actSaveLog", "Save Log", raiSaveLog, "Save Log| Save the log to a file", rpLog},
      {"actSaveErrors", "Save Errors", raiSaveErrors, "Save Errors| Save the errors to a file",
       rpErrors},
  };
  TCommand RunSelected;
  RunSelected.Name = QStringLiteral("actRunSelected");
  RunSelected.Caption = QStringLiteral("Run Selected");
  RunSelected.Image = raiRunSelected;
  RunSelected.Shortcut = QKeySequence(Qt::CTRL | Qt::Key_R);
  RunSelected.Hint =
      QStringLiteral("Run Selected|Run the selected scenarios, unit tests and methods");
  RunSelected.Rule = [this] {
    return FProject != nullptr && !TChosenMethods::Selected(FRows, FView.SelectedRows()).Empty();
  };
  RunSelected.Effect = [this] { this->RunSelected(); };

  TCommand RunFailed;
  RunFailed.Name = QStringLiteral("actRunFailed");
  RunFailed.Caption = QStringLiteral("Run Failed");
  RunFailed.Image = raiRunFailed;
  RunFailed.Shortcut = QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R);
  RunFailed.Hint = QStringLiteral("Run Failed|Run the methods that failed in the last run");
  RunFailed.Rule = [this] { return FProject != nullptr && !TChosenMethods::Failed(FRows).Empty(); };
  RunFailed.Effect = [this] { this->RunFailed(); };

  TCommand Next;
  Next.Name = QStringLiteral("actNextFailure");
  Next.Caption = QStringLiteral("Next Failure");
  Next.Shortcut = QKeySequence(Qt::Key_F8);
  Next.Hint = QStringLiteral("Next Failure|Select the next failed method");
  Next.HintPlaces = cpMenu;
  Next.Rule = [this] { return AnyShownFailure(); };
  Next.Effect = [this] { NextFailure(true); };
  Next.Places = cpMenu;
  TCommand Previous = Next;
  Previous.Name = QStringLiteral("actPreviousFailure");
  Previous.Caption = QStringLiteral("Previous Failure");
  Previous.Shortcut = QKeySequence(Qt::SHIFT | Qt::Key_F8);
  Previous.Hint = QStringLiteral("Previous Failure|Select the previous failed method");
  Previous.Effect = [this] { NextFailure(false); };

  TCommand Editor;
  Editor.Name = QStringLiteral("actEditor");
  Editor.Caption = QStringLiteral("Editor...");
  Editor.Hint = QStringLiteral("Editor|Choose the editor that opens a failure's file");
  Editor.HintPlaces = cpMenu;
  Editor.Rule = [this] { return FEditor != nullptr; };
  Editor.Effect = [this] { ChooseEditor(); };
  Editor.Places = cpMenu;

  TCommand Copy;
  Copy.Name = QStringLiteral("actCopyFailure");
  Copy.Caption = QStringLiteral("Copy Failure");
  Copy.Hint = QStringLiteral("Copy Failure|Copy the row's failures as the console prints them");
  Copy.HintPlaces = cpMenu;
  Copy.Rule = [this] { return !FailureText(FView.CurrentRow()).isEmpty(); };
  Copy.Effect = [this] {
    const QString Text = FailureText(FView.CurrentRow());
    if (FCopy)
      FCopy(Text);
    else if (QClipboard* Clipboard = QGuiApplication::clipboard())
      Clipboard->setText(Text);
  };
  Copy.Places = cpMenu | cpPopup;

  FCommands = {Start, StartAll, RunSelected, RunFailed, TCommand::Separator(cpMenu),
               Next,  Previous, Copy,        Editor,    TCommand::Separator(cpToolBar)};
  for (const auto& Save : Saves) {
    TCommand Command;
    Command.Name = QLatin1String(Save.Name);
    Command.Caption = QLatin1String(Save.Caption);
    Command.Image = Save.Image;
    Command.Hint = QLatin1String(Save.Hint);
    Command.Effect = [this, Page = Save.Page] { SavePage(Page); };
    Command.Places = cpToolBar;
    FCommands.push_back(Command);
  }
}

TResultsPresenter::~TResultsPresenter() = default;

void TResultsPresenter::Activate(TProject* aProject) {
  FProject = aProject;
  FDetails.Clear();
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
  UpdateHiddenRows();
  FView.RefreshTree();
}

void TResultsPresenter::SetFilter(const QString& aText, unsigned aResults) {
  FFilterText = aText;
  FFilterResults = aResults & rtAllResults;
  UpdateHiddenRows();
  FView.ShowFilter();
}

void TResultsPresenter::UpdateHiddenRows() {
  if (FFilterText.trimmed().isEmpty() && FFilterResults == rtAllResults) {
    FHidden.clear();
    return;
  }
  const TTextMatcher Text(FFilterText);
  const auto Toggle = [](TResultTreeImage aImage) -> unsigned {
    switch (aImage) {
    case rtiSuccess:
      return rtSuccess;
    case rtiFailure:
      return rtFailed;
    case rtiException:
      return rtException;
    default:
      return rtNotRun;
    }
  };
  FHidden = Kalvoro::HiddenRows(
      static_cast<int>(FRows.size()),
      [this](int aRow) { return FRows[static_cast<std::size_t>(aRow)].Level(); },
      [this, &Text](int aRow) { return Text.Matches(FRows[static_cast<std::size_t>(aRow)].Text); },
      [this, &Toggle](int aRow) {
        return (Toggle(FRows[static_cast<std::size_t>(aRow)].StatusImage) & FFilterResults) != 0;
      });
}

bool TResultsPresenter::RowShown(int aRow) const {
  if (aRow < 0 || static_cast<std::size_t>(aRow) >= FRows.size())
    return false;
  return FHidden.empty() || FHidden[static_cast<std::size_t>(aRow)] == 0;
}

bool TResultsPresenter::AnyShownFailure() const {
  for (std::size_t I = 0; I < FRows.size(); ++I)
    if (FRows[I].Kind == rrkMethod &&
        (FRows[I].StatusImage == rtiFailure || FRows[I].StatusImage == rtiException) &&
        RowShown(static_cast<int>(I)))
      return true;
  return false;
}

void TResultsPresenter::NextFailure(bool aForward) {
  const int Count = static_cast<int>(FRows.size());
  if (Count == 0)
    return;
  const int From = FView.CurrentRow();
  const int Step = aForward ? 1 : -1;
  // From the row after (before) the current one, once round the tree.
  int Row = From < 0 ? (aForward ? 0 : Count - 1) : (From + Step + Count) % Count;
  for (int Seen = 0; Seen < Count; ++Seen, Row = (Row + Step + Count) % Count) {
    const TResultRow& Candidate = FRows[static_cast<std::size_t>(Row)];
    if (Candidate.Kind == rrkMethod &&
        (Candidate.StatusImage == rtiFailure || Candidate.StatusImage == rtiException) &&
        RowShown(Row)) {
      FView.SelectRow(Row);
      return;
    }
  }
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
  Run({Row->Scenario});
}

void TResultsPresenter::StartAll() {
  if (FProject == nullptr)
    return;
  std::vector<TTestScenario*> Scenarios;
  for (TTestScenario* Scenario : FProject->Scenarios())
    Scenarios.push_back(Scenario);
  Run(Scenarios);
}

QString TResultsPresenter::OpenFailure(int aRow) {
  if (FEditor == nullptr || aRow < 0 || static_cast<std::size_t>(aRow) >= FRows.size())
    return {};
  const TResultRow& Row = FRows[static_cast<std::size_t>(aRow)];
  QString File;
  int Line = 0;
  if (Row.Kind != rrkMethod || !FDetails.FailureLocation(Row.Method, File, Line))
    return {};
  // The method's unit test is the row above it of that kind.
  QStringList Folders;
  for (int I = aRow - 1; I >= 0; --I)
    if (const TResultRow& Above = FRows[static_cast<std::size_t>(I)]; Above.Kind == rrkUnitTest) {
      if (const TModule* Module = Above.UnitTest->Module())
        Folders << QFileInfo(FromPath(Module->LoadPath())).absolutePath();
      break;
    }
  if (FProject != nullptr && !FProject->FileName().empty())
    Folders << QFileInfo(FromPath(FProject->FileName())).absolutePath();
  return OpenSourceFile(*FEditor, File, Line, Folders);
}

QString TResultsPresenter::FailureText(int aRow) const {
  if (aRow < 0 || static_cast<std::size_t>(aRow) >= FRows.size())
    return {};
  // The names that the Errors page's lines give in parentheses: the row's
  // method, or every method (and phase) of its unit tests.
  QStringList Names;
  QString UnitTest;
  const TResultRow& Row = FRows[static_cast<std::size_t>(aRow)];
  for (int I = aRow - 1; Row.Kind == rrkMethod && I >= 0 && UnitTest.isNull(); --I)
    if (FRows[static_cast<std::size_t>(I)].Kind == rrkUnitTest)
      UnitTest = FRows[static_cast<std::size_t>(I)].Text;
  if (Row.Kind == rrkMethod)
    Names << QLatin1Char('(') + UnitTest + QLatin1Char('.') + Row.Text + QLatin1Char(')');
  else
    for (std::size_t I = static_cast<std::size_t>(aRow);
         I < FRows.size() &&
         (I == static_cast<std::size_t>(aRow) || FRows[I].Level() > Row.Level());
         ++I)
      if (FRows[I].Kind == rrkUnitTest)
        Names << QLatin1Char('(') + FRows[I].Text + QLatin1Char('.');
  QStringList Lines;
  for (const std::string& Line : Page(rpErrors).Lines()) {
    const QString Text = QString::fromStdString(Line);
    for (const QString& Name : Names)
      if (Text.contains(Name)) {
        Lines << Text;
        break;
      }
  }
  return Lines.join(QLatin1Char('\n'));
}

void TResultsPresenter::ChooseEditor() {
  if (FEditor == nullptr)
    return;
  QString Template = FEditor->Template();
  if (FDialogs.InputChoice(QStringLiteral("Editor"),
                           QStringLiteral("The command that opens a file at a line ({file}, "
                                          "{line}); empty: the desktop's program"),
                           EditorTemplates(), Template))
    FEditor->SetTemplate(Template.trimmed());
}

void TResultsPresenter::RunSelected() {
  if (FProject == nullptr)
    return;
  RunChosen(TChosenMethods::Selected(FRows, FView.SelectedRows()));
}

void TResultsPresenter::RunFailed() {
  if (FProject == nullptr)
    return;
  RunChosen(TChosenMethods::Failed(FRows));
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
  // A stopped run starts no further scenario.
  const auto RunAll = [&](const TRunStep& aStep) {
    for (TTestScenario* Scenario : aScenarios) {
      if (Kinds.StopRequested())
        break;
      RunScenario(*Scenario, MakeSink, aStep, Hooks);
    }
  };
  try {
    if (aOneWindow && FWholeRunStep)
      FWholeRunStep(TWholeRun{aScenarios, Kinds.InProcess() ? nullptr : &Kinds, RunAll,
                              [&Kinds](TTestScenario& aScenario) { Kinds.Run(aScenario); }});
    else
      RunAll(Step);
  } catch (...) {
    // The tree shows what ran before the error reaches the user.
    RefreshTree();
    throw;
  }
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
