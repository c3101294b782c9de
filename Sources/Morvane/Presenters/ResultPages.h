// The results view's three pages: their lines, the controls under each (the
// "Log to file" box and the file name as typed) and the files that a run
// writes them to.
#pragma once

#include "ReportPages.h"

#include <QString>

#include <memory>
#include <string>

namespace Kalvoro {

class IDialogs;
class TLinesPage;
class TProject;

// What the controls under one page show: the "Log to file" box, the file-name
// box (as typed, which the next run writes to) and whether the file-name box
// and its chooser button can be used.
struct TFileControls {
  bool ToFile = false;
  QString FileName;
  bool Editable = false;
};

class TResultPages {
public:
  explicit TResultPages(IDialogs& aDialogs);
  ~TResultPages();
  TResultPages(const TResultPages&) = delete;
  TResultPages& operator=(const TResultPages&) = delete;

  // The project whose settings the controls show and change (null: none).
  void SetProject(TProject* aProject) { FProject = aProject; }

  TLinesPage& Page(TPageKind aPage) const { return *FPages[aPage]; }
  void Clear();

  const TFileControls& FileControls(TPageKind aPage) const { return FFileControls[aPage]; }
  // Sets the controls from the project's settings, which is no change of the
  // project. Those below return whether the controls are to be shown again;
  // without a project they do nothing.
  bool UpdateFileControls();
  // The user clicked the page's "Log to file" box: stored in the project.
  bool ToFileClicked(TPageKind aPage, bool aChecked);
  // The user changed the page's file-name box: only the next run uses it.
  void FileNameEdited(TPageKind aPage, const QString& aText) {
    FFileControls[aPage].FileName = aText;
  }
  // The ">" button: chooses the page's file (not a read-only one) and stores
  // it in the project.
  bool ChooseFile(TPageKind aPage);
  // A save button: writes the page to a file chosen now, which is not stored.
  void SavePage(TPageKind aPage);

  // Before a run: names each page's file as its controls say, absolute as the
  // console runner does (a test that changes the working directory must not
  // move the files written after the run), and raises the refusal when a
  // ticked page's file is the project file or a loaded module.
  void NameRunFiles();
  // After a run: writes each page whose box was ticked to the file named.
  void SaveRunFiles() const;

private:
  std::string ProjectFileName(TPageKind aPage) const;

  IDialogs& FDialogs;
  TProject* FProject = nullptr;
  TPerPage<std::unique_ptr<TLinesPage>> FPages;
  TPerPage<TFileControls> FFileControls;
  // The pages' files of the run, named when it starts.
  TPerPage<TPageFile> FRunFiles;
};

} // namespace Kalvoro
