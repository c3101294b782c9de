// The results view's commands as data: what each one shows, when it may run
// and what it does.
#include "ResultsPresenter.h"

#include "ChosenMethods.h"

namespace Kalvoro {

TCommandList ResultsCommands(TResultsPresenter& aPresenter) {
  TResultsPresenter* const Presenter = &aPresenter;
  TCommand Start;
  Start.Name = QStringLiteral("actStart");
  Start.Caption = QStringLiteral("&Start");
  Start.Image = raiStart;
  Start.Shortcut = QKeySequence(Qt::CTRL | Qt::Key_S);
  Start.Hint = QStringLiteral("Start Selected TestScenario| Start the selected TestScenario");
  Start.Rule = [Presenter] {
    const TResultRow* Row = Presenter->SelectedRow();
    return Presenter->Project() != nullptr && Row != nullptr && Row->Kind == rrkScenario;
  };
  Start.Effect = [Presenter] { Presenter->Start(); };

  TCommand StartAll;
  StartAll.Name = QStringLiteral("actStartAll");
  StartAll.Caption = QStringLiteral("Start All");
  StartAll.Image = raiStartAll;
  StartAll.Hint = QStringLiteral("Start All TestScenario's| Start all TestScenario's");
  StartAll.Rule = [Presenter] { return !Presenter->Rows().empty(); };
  StartAll.Effect = [Presenter] { Presenter->StartAll(); };
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
  RunSelected.Rule = [Presenter] { return Presenter->CanRunSelected(); };
  RunSelected.Effect = [Presenter] { Presenter->RunSelected(); };

  TCommand RunFailed;
  RunFailed.Name = QStringLiteral("actRunFailed");
  RunFailed.Caption = QStringLiteral("Run Failed");
  RunFailed.Image = raiRunFailed;
  RunFailed.Shortcut = QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R);
  RunFailed.Hint = QStringLiteral("Run Failed|Run the methods that failed in the last run");
  RunFailed.Rule = [Presenter] {
    return Presenter->Project() != nullptr && !TChosenMethods::Failed(Presenter->Rows()).Empty();
  };
  RunFailed.Effect = [Presenter] { Presenter->RunFailed(); };

  TCommand Next;
  Next.Name = QStringLiteral("actNextFailure");
  Next.Caption = QStringLiteral("Next Failure");
  Next.Shortcut = QKeySequence(Qt::Key_F8);
  Next.Hint = QStringLiteral("Next Failure|Select the next failed method");
  Next.HintPlaces = cpMenu;
  Next.Rule = [Presenter] { return Presenter->AnyShownFailure(); };
  Next.Effect = [Presenter] { Presenter->NextFailure(true); };
  Next.Places = cpMenu;
  TCommand Previous = Next;
  Previous.Name = QStringLiteral("actPreviousFailure");
  Previous.Caption = QStringLiteral("Previous Failure");
  Previous.Shortcut = QKeySequence(Qt::SHIFT | Qt::Key_F8);
  Previous.Hint = QStringLiteral("Previous Failure|Select the previous failed method");
  Previous.Effect = [Presenter] { Presenter->NextFailure(false); };

  TCommand Open;
  Open.Name = QStringLiteral("actOpenFailure");
  Open.Caption = QStringLiteral("Open in Editor");
  Open.Hint =
      QStringLiteral("Open in Editor|Open the row's failed check at its line in your editor");
  Open.HintPlaces = cpMenu;
  Open.Rule = [Presenter] { return Presenter->CanOpenFailure(); };
  Open.Effect = [Presenter] { Presenter->OpenCurrentFailure(); };
  Open.Places = cpMenu | cpPopup;

  TCommand Copy;
  Copy.Name = QStringLiteral("actCopyFailure");
  Copy.Caption = QStringLiteral("Copy Failure");
  Copy.Hint = QStringLiteral("Copy Failure|Copy the row's failures as the console prints them");
  Copy.HintPlaces = cpMenu;
  Copy.Rule = [Presenter] { return !Presenter->CurrentFailureText().isEmpty(); };
  Copy.Effect = [Presenter] { Presenter->CopyCurrentFailure(); };
  Copy.Places = cpMenu | cpPopup;

  TCommandList Commands = {Start, StartAll, RunSelected, RunFailed, TCommand::Separator(cpMenu),
                           Next,  Previous, Open,        Copy,      TCommand::Separator(cpToolBar)};
  for (const auto& Save : Saves) {
    TCommand Command;
    Command.Name = QLatin1String(Save.Name);
    Command.Caption = QLatin1String(Save.Caption);
    Command.Image = Save.Image;
    Command.Hint = QLatin1String(Save.Hint);
    Command.Effect = [Presenter, Page = Save.Page] { Presenter->SavePage(Page); };
    Command.Places = cpToolBar;
    Commands.push_back(Command);
  }
  return Commands;
}

} // namespace Kalvoro
