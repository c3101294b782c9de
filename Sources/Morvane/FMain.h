// The main window: it holds the three views, switches between them, and shows
// the project commands of its presenter, which owns the current project.
#pragma once

#include "Actions.h"
#include "CommandActions.h"
#include "FrameIntf.h"
#include "ProjectPresenter.h"
#include "Titles.h"
#include "ViewChoice.h"

#include <QMainWindow>
#include <QStringList>

#include <memory>

class QLabel;
class QToolBar;

namespace Kalvoro {

class IDialogs;
class TCaptionBar;
class TNavigationBar;
class TModulesFrame;
class TResultsFrame;
class TScenariosFrame;
class TRebuildWatcher;

class TMainForm : public QMainWindow, private IProjectView, private IViewHost {
  Q_OBJECT

public:
  // aArguments are the command-line arguments without the program: exactly one
  // names a project file to open, otherwise the window starts a new project.
  TMainForm(IDialogs& aDialogs, const QStringList& aArguments, QWidget* aParent = nullptr);
  ~TMainForm() override;

  // Deactivates the active view and activates aFrame (null: none). Choosing the
  // active view again does nothing.
  void SwitchFrame(IFrame* aFrame);
  // Replaces the project by the one in the file, with the views re-activated
  // before any error or load report is shown.
  void OpenProject(const QString& aFileName) { FPresenter.OpenProject(aFileName); }

  TProject* Project() const { return FPresenter.Project(); }
  IFrame* ActiveFrame() const { return FrameOf(FViews.Shown()); }
  TModulesFrame* ModulesFrame() const { return FModulesFrame; }
  TScenariosFrame* ScenariosFrame() const { return FScenariosFrame; }
  TResultsFrame* ResultsFrame() const { return FResultsFrame; }

  QString StatusText() const;
  QWidget* ToolBarHost() const { return FToolBarHost; }
  QToolBar* MainToolBar() const { return FMainToolBar; }
  TCaptionBar* CaptionBar() const { return FCaptionBar; }
  TNavigationBar* NavigationBar() const { return FNavigationBar; }
  QMenu* ProjectMenu() const { return FProjectMenu; }
  QMenu* ViewMenu() const { return FViewMenu; }
  QMenu* ToolsMenu() const { return FToolsMenu; }
  QMenu* HelpMenu() const { return FHelpMenu; }

  // The action of a project or view command ("actSaveProject",
  // "actModuleView"), or null.
  TAction* Action(const QString& aName) const;

  QAction* mniExit;
  QAction* mniAbout;
  QAction* mniPreferences;

protected:
  bool event(QEvent* aEvent) override;
  void showEvent(QShowEvent* aEvent) override;
  void closeEvent(QCloseEvent* aEvent) override;

private:
  // IProjectView
  void DeactivateView() override;
  void ReactivateView() override;
  void CaptionChanged() override;
  // IViewHost
  void LeaveView(TMainView aView) override;
  void EnterView(TMainView aView) override;
  void RenewView(TMainView aView) override;

  IFrame* FrameOf(TMainView aView) const;
  TMainView ViewOf(const IFrame* aFrame) const;

  // The view commands: switch to the modules, scenarios or results view.
  TCommandList ViewCommands();
  void BuildMenus();
  void BuildLayout();
  void RebuildMenuBar();
  void SetStatusText(const QString& aText);

  IDialogs& FDialogs;
  TProjectPresenter FPresenter;
  TModulesFrame* FModulesFrame = nullptr;
  TScenariosFrame* FScenariosFrame = nullptr;
  TResultsFrame* FResultsFrame = nullptr;
  TViewChoice FViews{*this};
  QList<QIcon> FImages;
  std::unique_ptr<TCommandActions> FProjectActions;
  std::unique_ptr<TCommandActions> FViewActions;
  // The navigation buttons' links to the three view actions, in view order.
  QList<QAction*> FNavigationLinks;

  QWidget* FToolBarHost = nullptr;
  QToolBar* FMainToolBar = nullptr;
  TNavigationBar* FNavigationBar = nullptr;
  TCaptionBar* FCaptionBar = nullptr;
  QWidget* FViewPanel = nullptr;
  QLabel* FStatusLabel = nullptr;
  QMenu* FProjectMenu = nullptr;
  QMenu* FViewMenu = nullptr;
  QMenu* FToolsMenu = nullptr;
  QMenu* FHelpMenu = nullptr;
  TFrameMenu FOwnMenu;
  TFrameMenu FMergedMenu;
  // Rebuilt modules listed again by themselves.
  std::unique_ptr<TRebuildWatcher> FRebuild;
};

} // namespace Kalvoro
