// What the results view shows and does, without any widget: the rows of its
// tree and their filter, its commands (Start, Start All, Run Selected, Run
// Failed, the next and previous failure, the three save buttons), the three
// pages of run output and the file controls under them.
#pragma once

#include "Command.h"
#include "Editor.h"
#include "KeptResults.h"
#include "KindRunner.h"
#include "MethodDetails.h"
#include "ResultFilter.h"
#include "ResultMarks.h"
#include "ResultPages.h"
#include "ResultRows.h"
#include "RowFilter.h"
#include "RunnerCore.h"

#include <QString>

#include <array>
#include <map>
#include <memory>
#include <vector>

namespace Kalvoro {

class IDialogs;
class TChosenMethods;
class TLinesPage;
class TProject;

// How the view carries out one scenario's run (its progress window): in the
// hosts of aHosts, or in this process when aHosts is null.
using TProgressStep = std::function<void(TTestScenario& aScenario, TKindRunner* aHosts)>;

// A run over several scenarios in one progress window (Run Selected, Run
// Failed): RunAll runs the scenarios in turn, each through the step it is
// handed, and RunOne runs one scenario (in Hosts' hosts, or in this process
// when Hosts is null).
struct TWholeRun {
  std::vector<TTestScenario*> Scenarios;
  TKindRunner* Hosts = nullptr;
  std::function<void(const TRunStep&)> RunAll;
  std::function<void(TTestScenario&)> RunOne;
};
using TWholeRunStep = std::function<void(const TWholeRun& aRun)>;

// What the presenter asks of the view.
class IResultsView {
public:
  virtual ~IResultsView() = default;

  // The flat index of the tree's current selected row, or -1 for none.
  virtual int CurrentRow() const = 0;
  // The flat indexes of the selected rows that the filter shows, in tree order.
  virtual std::vector<int> SelectedRows() const = 0;
  // Selects only the row at that flat index, makes it current and scrolls to it.
  virtual void SelectRow(int aRow) = 0;
  // Rebuilds the tree from the presenter's Rows, keeping the selection by
  // position, and hides the rows of HiddenRows.
  virtual void RefreshTree() = 0;
  // Hides the rows of the presenter's HiddenRows (after a change of filter).
  virtual void ShowFilter() = 0;
  // Shows the presenter's FileControls.
  virtual void ShowFileControls() = 0;
};

class TResultsPresenter;

// The results view's commands as data: what each one shows, when it may run
// and what it does (ResultsCommands.cpp).
TCommandList ResultsCommands(TResultsPresenter& aPresenter);

class TResultsPresenter {
public:
  TResultsPresenter(IDialogs& aDialogs, IResultsView& aView);
  ~TResultsPresenter();
  TResultsPresenter(const TResultsPresenter&) = delete;
  TResultsPresenter& operator=(const TResultsPresenter&) = delete;

  // How a scenario's run is carried out (the view's progress window); empty
  // runs it directly. The project's options choose hosts or this process and
  // the time limit of each phase.
  void SetRunStep(TProgressStep aRunStep) { FRunStep = std::move(aRunStep); }
  // How a chosen run is carried out in one window; empty: each scenario
  // through the run step, as Start All.
  void SetWholeRunStep(TWholeRunStep aStep) { FWholeRunStep = std::move(aStep); }
  // How the hosts wait for their processes (the event loop by default).
  void SetWaitHook(TWaitHook aWait) { FWait = std::move(aWait); }
  // Where the methods' times come from (tests pin it).
  void SetClock(TSteadyClock aClock) { FDetails.SetClock(std::move(aClock)); }

  // Keeps the project, rebuilds the rows, shows the file settings and empties
  // the pages. Showing the settings does not mark the project modified.
  void Activate(TProject* aProject);
  // Drops the project and the rows; the pages keep their lines.
  void Deactivate();
  TProject* Project() const { return FProject; }

  const TCommandList& Commands() const { return FCommands; }
  const std::vector<TResultRow>& Rows() const { return FRows; }
  // The row of the view's current selected row, or null.
  const TResultRow* SelectedRow() const;
  // Rebuilds the rows from the project's scenarios and has the view show them
  // (nothing without a project).
  void RefreshTree();

  // A click on the Duration header: the first orders each level's rows
  // slowest first, the next restores the run order, and so on.
  void ToggleDurationSort() {
    FSortedByDuration = !FSortedByDuration;
    RefreshTree();
  }
  bool SortedByDuration() const { return FSortedByDuration; }

  // A reload of rebuilt modules: KeepResults notes each method's result by
  // its names before the modules go; RestoreResults gives them to the
  // methods that stand for them after, and marks the results out of date
  // until the next run (when there were any). The project's: the view need not be active.
  void KeepResults(const TProject& aProject);
  void RestoreResults(const TProject& aProject);
  bool OutOfDate() const { return FOutOfDate; }
  // What the view says over the tree while the results are out of date.
  QString OutOfDateText() const {
    return FOutOfDate ? QStringLiteral("Out of date: a module was rebuilt after this run")
                      : QString();
  }

  // The filter box: the text and the results shown (TResultToggle bits).
  void SetFilter(const QString& aText, unsigned aResults = rtAllResults);
  const QString& FilterText() const { return FFilter.Text(); }
  unsigned FilterResults() const { return FFilter.Results(); }
  // The rows that the filter hides, by flat index; empty: none.
  const std::vector<char>& HiddenRows() const { return FFilter.Hidden(); }
  bool RowShown(int aRow) const { return FFilter.Shown(FRows, aRow); }

  // What the details pane shows for the row at that flat index: a method's
  // checks, exceptions, reports, duration and output of the last run; a
  // unit test's or scenario's methods counted by result.
  QStringList Details(int aRow) const { return FDetails.Lines(FRows, aRow); }
  // Where failures open (not owned; null: they do not open).
  void SetEditorLauncher(IEditorLauncher* aLauncher) { FEditor = aLauncher; }
  // Double-click or Enter on a row: opens its method's first failure in the
  // editor, found from the module's folder, then the project's. Returns what
  // the status bar says (empty: it opened, or the row has no failure).
  QString OpenFailure(int aRow);
  // Whether the row is a method whose last run failed a check with a place.
  bool HasFailureLocation(int aRow) const;
  // Where Open in Editor says why a failure did not open (the status bar).
  void SetStatusText(std::function<void(const QString&)> aShow) { FStatus = std::move(aShow); }
  // The row's failures as the console prints them (the Errors page's lines
  // of its method, or of its unit test's or scenario's methods); empty when
  // it has none. Copy Failure puts them on the clipboard (through aCopy).
  QString FailureText(int aRow) const;
  // The commands' rules and effects.
  bool CanRunSelected() const;
  bool CanOpenFailure() const {
    return FEditor != nullptr && HasFailureLocation(FView.CurrentRow());
  }
  void OpenCurrentFailure();
  QString CurrentFailureText() const { return FailureText(FView.CurrentRow()); }
  void CopyCurrentFailure() const;
  bool AnyShownFailure() const { return FFilter.AnyShownFailure(FRows); }
  void SetClipboard(std::function<void(const QString&)> aCopy) { FCopy = std::move(aCopy); }

  // The pages and the controls under them (ResultPages.h).
  TLinesPage& Page(TPageKind aPage) const { return FPages.Page(aPage); }
  void ClearOutput() { FPages.Clear(); }
  const TFileControls& FileControls(TPageKind aPage) const { return FPages.FileControls(aPage); }
  void UpdateFileControls() {
    if (FPages.UpdateFileControls())
      FView.ShowFileControls();
  }
  void ToFileClicked(TPageKind aPage, bool aChecked) {
    if (FPages.ToFileClicked(aPage, aChecked))
      FView.ShowFileControls();
  }
  void FileNameEdited(TPageKind aPage, const QString& aText) {
    FPages.FileNameEdited(aPage, aText);
  }
  void ChooseFile(TPageKind aPage) {
    if (FPages.ChooseFile(aPage))
      FView.ShowFileControls();
  }
  void SavePage(TPageKind aPage) { FPages.SavePage(aPage); }

  void Start();
  void StartAll();
  // Runs the selected rows' methods, or those that failed in the last run,
  // in one run over their scenarios; the methods left out show not run.
  void RunSelected();
  void RunFailed();
  // Runs again what the last Start, Start All, Run Selected or Run Failed
  // ran (after a reload of rebuilt modules): the same scenario, or the same
  // rows by their names; does nothing before the first run.
  void RepeatLastRun();
  bool HasLastRun() const { return FLastRun != lrNone; }
  // Whether a reload runs the last run again (the view's toggle).
  void SetRunAgainAfterRebuild(bool aValue) { FRunAgain = aValue; }
  bool RunAgainAfterRebuild() const { return FRunAgain; }
  // Selects the next (previous) shown failed method after (before) the
  // current row, going round the tree's end.
  void NextFailure(bool aForward = true);
  // Writes each page whose box is ticked to the file named in its box.
  void SaveReportFiles() const { FPages.SaveRunFiles(); }

private:
  // Runs the scenarios; aOneWindow: in one progress window (the whole run
  // step), else each in its own.
  void Run(const std::vector<TTestScenario*>& aScenarios, bool aOneWindow = false);
  void RunChosen(TChosenMethods aPlan);

  IDialogs& FDialogs;
  IResultsView& FView;
  TProject* FProject = nullptr;
  TProject* FSessionProject = nullptr; // the project of the times and marks
  TProgressStep FRunStep;
  TWholeRunStep FWholeRunStep;
  TWaitHook FWait;
  TCommandList FCommands;
  std::vector<TResultRow> FRows;
  bool FSortedByDuration = false;
  bool FOutOfDate = false;
  // The last run by its command, and what it chose by names (a reload
  // replaces the objects).
  enum TLastRun { lrNone, lrStart, lrStartAll, lrSelected, lrFailed };
  TLastRun FLastRun = lrNone;
  std::string FLastScenario;
  bool FRunAgain = false;
  TKeptResults FKept;
  TResultMarks FMarks;
  TResultFilter FFilter;
  TMethodDetails FDetails;
  IEditorLauncher* FEditor = nullptr;
  std::function<void(const QString&)> FCopy;
  std::function<void(const QString&)> FStatus;
  TResultPages FPages;
};

} // namespace Kalvoro
