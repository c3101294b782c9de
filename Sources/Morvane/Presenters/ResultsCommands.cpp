// The results view's commands as data: what each one shows, when it may run
// and what it does.
#include "ResultsPresenter.h"

#include "ChosenMethods.h"

#include <QClipboard>
#include <QGuiApplication>

namespace Kalvoro {

void TResultsPresenter::MakeCommands() {
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
    TPageKind Page;
  } Saves[] = {
      {"actSaveSummary", "Save Summary", raiSaveSummary, "Save Summary|Save the summary to a file",
       pkSummary},
      {"actSaveLog", "Save Log", raiSaveLog, "Save Log| Save the log to a file", pkLog},
      {"actSaveErrors", "Save Errors", raiSaveErrors, "Save Errors| Save the errors to a file",
       pkErrors},
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

  TCommand Open;
  Open.Name = QStringLiteral("actOpenFailure");
  Open.Caption = QStringLiteral("Open in Editor");
  Open.Hint =
      QStringLiteral("Open in Editor|Open the row's failed check at its line in your editor");
  Open.HintPlaces = cpMenu;
  Open.Rule = [this] { return FEditor != nullptr && HasFailureLocation(FView.CurrentRow()); };
  Open.Effect = [this] {
    const QString Status = OpenFailure(FView.CurrentRow());
    if (!Status.isEmpty() && FStatus)
      FStatus(Status);
  };
  Open.Places = cpMenu | cpPopup;

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
               Next,  Previous, Open,        Copy,      TCommand::Separator(cpToolBar)};
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

} // namespace Kalvoro
