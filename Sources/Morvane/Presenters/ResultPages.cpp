#include "ResultPages.h"

#include "Dialogs.h"
#include "Exception.h"
#include "IOutput.h"
#include "LinesPage.h"
#include "Paths.h"
#include "Project.h"
#include "RunnerCore.h"
#include "Titles.h"

#include <QFile>
#include <QFileInfo>

namespace Kalvoro {

namespace {

// The page's name in the chooser's title ("Error") and the save title ("Errors").
const char* ChooserName(TPageKind aPage) {
  return PageKey(aPage);
}

const char* PageName(TPageKind aPage) {
  static constexpr const char* Names[] = {"Summary", "Log", "Errors"};
  return Names[aPage];
}

// An existing file that nobody may write by its permission bits (the owner's,
// group's and others'; what the current user may do says nothing for root).
bool IsReadOnlyFile(const QString& aName) {
  const QFileInfo File(aName);
  constexpr QFile::Permissions Write = QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
  return File.exists() && File.isFile() && !(File.permissions() & Write);
}

} // namespace

TResultPages::TResultPages(IDialogs& aDialogs) : FDialogs(aDialogs) {
  for (auto& Page : FPages.Items)
    Page = std::make_unique<TLinesPage>();
}

TResultPages::~TResultPages() = default;

void TResultPages::Clear() {
  for (auto& Page : FPages.Items)
    Page->Clear();
}

bool TResultPages::UpdateFileControls() {
  if (FProject == nullptr)
    return false;
  for (TPageKind Page : PageKinds) {
    TFileControls& Controls = FFileControls[Page];
    const TPageFile& Stored = FProject->FileInfo().Page(Page);
    Controls.FileName = FromPath(Stored.FileName);
    Controls.ToFile = Stored.Enabled;
    Controls.Editable = Controls.ToFile;
  }
  return true;
}

bool TResultPages::ToFileClicked(TPageKind aPage, bool aChecked) {
  if (FProject == nullptr)
    return false;
  FProject->SetModified();
  FProject->FileInfo().SetEnabled(aPage, aChecked);
  return UpdateFileControls();
}

bool TResultPages::ChooseFile(TPageKind aPage) {
  if (FProject == nullptr)
    return false;
  TFileDialogOptions Options;
  Options.Title = QStringLiteral("Choose the \"%1\" file").arg(QLatin1String(ChooserName(aPage)));
  Options.DefaultSuffix = QStringLiteral("txt");
  Options.FileName = FromPath(ProjectFileName(aPage));
  Options.FileMustExist = false;
  // A read-only file is not accepted: the next run could not write it.
  for (;;) {
    if (!FDialogs.OpenFile(Options))
      return false;
    if (!IsReadOnlyFile(Options.FileName))
      break;
    FDialogs.ShowMessage(ApplicationTitle(),
                         Options.FileName +
                             QStringLiteral("\rThis file is set to read-only.\r"
                                            "Try again with a different file name."));
  }
  FProject->SetModified();
  FProject->FileInfo().SetFileName(aPage, ToPath(Options.FileName));
  return UpdateFileControls();
}

void TResultPages::SavePage(TPageKind aPage) {
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

void TResultPages::NameRunFiles() {
  for (TPageKind Page : PageKinds)
    FRunFiles[Page] = {FFileControls[Page].ToFile, AbsoluteFileName(FProject->ResolvePath(
                                                       ToPath(FFileControls[Page].FileName)))};
  // Writing a page over the project file or a mapped module would destroy it:
  // such a run is refused before anything runs or is written.
  std::vector<std::string> Files;
  for (const TPageFile& File : FRunFiles.Items)
    if (File.Enabled)
      Files.push_back(File.FileName);
  std::vector<const TModule*> Modules;
  for (const TModule* Module : FProject->Modules())
    if (Module->State() == msLoadSuccess)
      Modules.push_back(Module);
  const std::string Conflict = ReportFileConflict(Files, FProject->FileName(), Modules);
  if (!Conflict.empty())
    throw Exception(Conflict);
}

void TResultPages::SaveRunFiles() const {
  if (FProject == nullptr)
    return;
  TPerPage<TPageText> Texts;
  for (TPageKind Page : PageKinds)
    Texts[Page].Lines = &this->Page(Page).Lines();
  SaveReportFiles(FRunFiles, Texts);
}

std::string TResultPages::ProjectFileName(TPageKind aPage) const {
  return FProject->ResolvePath(FProject->FileInfo().Page(aPage).FileName);
}

} // namespace Kalvoro
