// The project lifecycle of the main window, without any widget: the current
// project, its commands New, Open..., Save, Save As... and Print..., the
// question before quitting, and the window caption that names the project.
#pragma once

#include "Command.h"
#include "FileIdentity.h"
#include "KindLister.h"
#include "ModuleLister.h"
#include "ProjectOptionsPresenter.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <utility>

namespace Kalvoro {

class IDialogs;
class TProject;

// What the presenter asks of the main window.
class IProjectView {
public:
  virtual ~IProjectView() = default;

  // Before the project is replaced: remember the active view and deactivate
  // it, so that no view holds the project that goes.
  virtual void DeactivateView() = 0;
  // After the project was replaced: activate the remembered view again, now
  // with the new project.
  virtual void ReactivateView() = 0;
  // The window caption changed (Caption()).
  virtual void CaptionChanged() = 0;
};

class TProjectPresenter {
public:
  TProjectPresenter(IDialogs& aDialogs, IProjectView& aView);
  // Releases the project, which unloads its modules.
  ~TProjectPresenter();
  TProjectPresenter(const TProjectPresenter&) = delete;
  TProjectPresenter& operator=(const TProjectPresenter&) = delete;

  // The program's start: exactly one argument names a project file to open,
  // otherwise a new project is made without a question. An error of the
  // opening goes to the caller, the project then being as far as it was read.
  void Start(const QStringList& aArguments);

  // The current project: one exists from Start on.
  TProject* Project() const { return FProject.get(); }
  // "Morvane v0.7.0 - " and the project's file name, or "Untitled.kvr" for a
  // new project; "Morvane v0.7.0" before Start.
  QString Caption() const { return FCaption; }

  // actNewProject, actOpenProject, actSaveProject, actSaveProjectAs,
  // actProjectOptions, a menu separator, actPrint.
  const TCommandList& Commands() const { return FCommands; }

  // Replaces the project by the one in the file. The view is active again
  // before a load report is shown or an error goes on to the caller.
  void OpenProject(const QString& aFileName);
  // The dialog of Project > Options... (the main window's).
  void SetOptionsDialog(TOptionsDialog aDialog) { FOptionsDialog = std::move(aDialog); }

  // The close question: true unless the project has unsaved changes and the
  // user answers No to quitting anyway.
  bool CanClose();

private:
  void NewProject();
  void OpenProjectWithDialog();
  void SaveProject();
  void SaveProjectAs();
  // Writes the project, after asking whether to save over a file that changed
  // since this program opened or saved it: false when the user said No. A
  // failed write leaves the project marked modified.
  bool WriteProject();
  // Takes the identity of the project's file as it is now.
  void RememberFile();
  void SetCaption(const QString& aFileName);

  IDialogs& FDialogs;
  IProjectView& FView;
  // Run hosts list the project's modules, so that none of their code runs
  // in this program; they outlive the project, whose modules let go of
  // their hosts as they go.
  TKindLister FLister;
  TModuleListerScope FListing{&FLister};
  std::unique_ptr<TProject> FProject;
  QString FCaption;
  // The name the Save As dialog starts with: the last one chosen.
  QString FSaveAsFileName;
  TCommandList FCommands;
  // The project file's identity when this program last opened or saved it,
  // and the name it was taken under.
  std::string FRememberedName;
  TFileIdentity FRememberedFile;
  // The last save stopped at the question whether to save over a changed file.
  bool FSaveDeclined = false;
  TOptionsDialog FOptionsDialog;
};

} // namespace Kalvoro
