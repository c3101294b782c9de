#include "ProjectPresenter.h"

#include "Dialogs.h"
#include "EventLoopWait.h"
#include "Exception.h"
#include "LoadErrors.h"
#include "MainImages.h"
#include "Paths.h"
#include "Project.h"
#include "Titles.h"

namespace Kalvoro {

namespace {
const char* const UntitledName = "Untitled.kvr";
} // namespace

TProjectPresenter::TProjectPresenter(IDialogs& aDialogs, IProjectView& aView)
    : FDialogs(aDialogs), FView(aView), FLister(ListingWait), FCaption(MainTitle()),
      FSaveAsFileName(QLatin1String(UntitledName)) {
  FCommands = {
      {.Name = "actNewProject",
       .Caption = "New",
       .Image = maiNew,
       .Hint = "New Project|Create a new project",
       .HintPlaces = cpToolBar | cpMenu,
       .Effect = [this] { NewProject(); },
       .Places = cpToolBar | cpMenu},
      {.Name = "actOpenProject",
       .Caption = "Open...",
       .Image = maiOpen,
       .Hint = "Open Project|Open an existing project",
       .Effect = [this] { OpenProjectWithDialog(); },
       .Places = cpToolBar | cpMenu},
      {.Name = "actSaveProject",
       .Caption = "Save",
       .Image = maiSave,
       .Hint = "Save project|Save the project to a file",
       .Rule = [this] { return FProject != nullptr && FProject->Modified(); },
       .Effect = [this] { SaveProject(); },
       .Places = cpToolBar | cpMenu},
      {.Name = "actSaveProjectAs",
       .Caption = "Save As...",
       .Image = maiSaveAs,
       .Hint = "Save Project As|Save the project to different file",
       .HintPlaces = cpMenu,
       .Rule = [this] { return FProject != nullptr; },
       .Effect = [this] { SaveProjectAs(); },
       .Places = cpMenu},
      {.Name = "actProjectOptions",
       .Caption = "Options...",
       .Hint = "Options|How the project's tests run: in a separate process, time limit",
       .HintPlaces = cpMenu,
       .Rule = [this] { return FProject != nullptr && FOptionsDialog != nullptr; },
       .Effect = [this] { EditProjectOptions(*FProject, FDialogs, FOptionsDialog); },
       .Places = cpMenu},
      TCommand::Separator(cpMenu),
      // Printing is offered but does nothing.
      {.Name = "actPrint", .Caption = "Print...", .Image = maiPrint, .Places = cpMenu},
  };
}

TProjectPresenter::~TProjectPresenter() = default;

void TProjectPresenter::Start(const QStringList& aArguments) {
  if (aArguments.size() == 1)
    OpenProject(aArguments.constFirst());
  else
    NewProject();
}

void TProjectPresenter::SetCaption(const QString& aFileName) {
  FCaption = MainTitle() + QStringLiteral(" - ") + aFileName;
  FView.CaptionChanged();
}

void TProjectPresenter::OpenProject(const QString& aFileName) {
  const std::string FileName = ToPath(aFileName);
  TOpenProjectResult Opened;
  FView.DeactivateView();
  FProject.reset();
  FLister.EndHosts();
  // Taken before the reading: a change made meanwhile is asked about later
  // rather than overwritten unasked.
  FRememberedName = FileName;
  FRememberedFile = FileIdentityOf(FileName);
  try {
    Opened = Kalvoro::OpenProject(FileName);
  } catch (...) {
    // An error that is no std::exception: the project is still the one named
    // after the file, and the view shows it before the error goes on.
    FProject = std::make_unique<TProject>(FileName);
    SetCaption(FromPath(FProject->FileName()));
    FView.ReactivateView();
    throw;
  }
  FProject = std::move(Opened.Project);
  SetCaption(FromPath(FProject->FileName()));
  FView.ReactivateView();
  if (!Opened.Error.empty()) {
    const std::string& Path = FProject->LoadErrorModule();
    const TModule* Failed = Path.empty() ? nullptr : FProject->Modules().FindByFileName(Path);
    throw Exception(
        LoadErrorText(Path, Opened.Error, Failed != nullptr ? Failed->LoaderError() : ""));
  }
  if (!Opened.Success)
    FDialogs.ShowMessage(ApplicationTitle(), QString::fromStdString(Opened.Report));
}

bool TProjectPresenter::CanClose() {
  return FProject == nullptr || !FProject->Modified() ||
         FDialogs.Confirm(QStringLiteral("Project is not saved.\rQuit Anyway?"));
}

void TProjectPresenter::NewProject() {
  if (FProject != nullptr && FProject->Modified() &&
      !FDialogs.Confirm(
          QStringLiteral("Current project is not saved.\rCreate a new project anyway?")))
    return;
  FView.DeactivateView();
  // The old project goes first: releasing it unloads its modules.
  FProject.reset();
  FLister.EndHosts();
  FProject = std::make_unique<TProject>();
  FRememberedName.clear();
  FView.ReactivateView();
  SetCaption(QLatin1String(UntitledName));
}

void TProjectPresenter::OpenProjectWithDialog() {
  TFileDialogOptions Options;
  Options.Title = QStringLiteral("Open Project");
  Options.DefaultSuffix = QStringLiteral("kvr");
  if (!FDialogs.OpenFile(Options))
    return;
  // No is no way back: it saves first, and the chosen file is opened either
  // way, unless the save raises an error or the user would not save over a
  // file changed by someone else, which ends the command here.
  if (FProject != nullptr && FProject->Modified() &&
      !FDialogs.Confirm(
          QStringLiteral("The current project is not saved.\rChanges will be lost. Proceed?"))) {
    FSaveDeclined = false;
    FindCommand(FCommands, QStringLiteral("actSaveProject")).Run();
    if (FSaveDeclined)
      return;
  }
  OpenProject(Options.FileName);
}

void TProjectPresenter::RememberFile() {
  FRememberedName = FProject->FileName();
  FRememberedFile = FileIdentityOf(FRememberedName);
}

bool TProjectPresenter::WriteProject() {
  // Another program (another Morvane on the same project) may have saved the
  // file since: saving over it unasked would lose its changes. A file that is
  // gone loses nothing.
  const TFileIdentity Present = FileIdentityOf(FProject->FileName());
  if (FProject->FileName() == FRememberedName && Present.Exists && Present != FRememberedFile &&
      !FDialogs.Confirm(FromPath(FProject->FileName()) +
                        QStringLiteral("\rThe file has been changed by another program since it "
                                       "was opened or saved here.\rSave over it?"))) {
    FSaveDeclined = true;
    return false;
  }
  try {
    FProject->SaveProject();
  } catch (...) {
    // The file does not hold the changes: the project stays unsaved, so that
    // Save stays enabled and quitting still asks.
    FProject->SetModified();
    throw;
  }
  RememberFile();
  return true;
}

void TProjectPresenter::SaveProject() {
  if (FProject == nullptr)
    return;
  if (!FProject->FileName().empty())
    WriteProject();
  else
    FindCommand(FCommands, QStringLiteral("actSaveProjectAs")).Run();
}

void TProjectPresenter::SaveProjectAs() {
  if (FProject == nullptr)
    return;
  TFileDialogOptions Options;
  Options.Title = QStringLiteral("Save Project As");
  Options.DefaultSuffix = QStringLiteral("kvr");
  Options.FileName = FSaveAsFileName;
  Options.ConfirmOverwrite = false;
  if (!FDialogs.SaveFile(Options))
    return;
  FSaveAsFileName = Options.FileName;
  FProject->SetFileName(ToPath(Options.FileName));
  // The caption follows the project's name, also when the write fails.
  SetCaption(FromPath(FProject->FileName()));
  WriteProject();
}

} // namespace Kalvoro
