// The main window: it owns the current project and the three views, switches
// between the views, and carries the project commands.
#pragma once

#include "Actions.h"
#include "FrameIntf.h"
#include "Titles.h"

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
class TProject;
class TResultsFrame;
class TScenariosFrame;

class TMainForm : public QMainWindow {
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
  void OpenProject(const QString& aFileName);

  TProject* Project() const { return FProject.get(); }
  IFrame* ActiveFrame() const { return FActiveFrame; }
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
  QMenu* HelpMenu() const { return FHelpMenu; }

  TAction* actNewProject;
  TAction* actOpenProject;
  TAction* actSaveProject;
  TAction* actSaveProjectAs;
  TAction* actPrint;
  TAction* actModuleView;
  TAction* actScenarioView;
  TAction* actResultView;
  QAction* mniExit;
  QAction* mniAbout;

protected:
  bool event(QEvent* aEvent) override;
  void showEvent(QShowEvent* aEvent) override;
  void closeEvent(QCloseEvent* aEvent) override;

private:
  TAction* MakeAction(const QString& aCaption, int aImage);
  void BuildMenus();
  void BuildLayout();
  void RebuildMenuBar();
  void SetCaption(const QString& aCaption);
  void SetStatusText(const QString& aText);
  // Saves the project; a failed save leaves it marked modified.
  void SaveProjectFile();

  void actNewProjectExecute();
  void actOpenProjectExecute();
  void actSaveProjectExecute();
  void actSaveProjectAsExecute();

  IDialogs& FDialogs;
  TModulesFrame* FModulesFrame = nullptr;
  TScenariosFrame* FScenariosFrame = nullptr;
  TResultsFrame* FResultsFrame = nullptr;
  IFrame* FActiveFrame = nullptr;
  std::unique_ptr<TProject> FProject;
  QString FSaveAsFileName;
  QList<QIcon> FImages;
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
  QMenu* FHelpMenu = nullptr;
  TFrameMenu FOwnMenu;
  TFrameMenu FMergedMenu;
};

} // namespace Kalvoro
