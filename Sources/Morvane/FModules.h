// The modules view: the project's test modules with their load state, and
// under each loaded module its unit tests and their test methods.
#pragma once

#include "Actions.h"
#include "FrameIntf.h"
#include "ModulesController.h"

#include <QWidget>

#include <array>
#include <vector>

class QMenu;
class QToolBar;

namespace Kalvoro {

class IDialogs;
class TTreeNode;
class TTreeView;

class TModulesFrame : public QWidget, public IFrame {
  Q_OBJECT

public:
  explicit TModulesFrame(IDialogs& aDialogs, QWidget* aOwner = nullptr);
  ~TModulesFrame() override;

  // IFrame
  void Activate(TProject* aProject) override;
  void Deactivate() override;
  void Show() override { show(); }
  void Hide() override { hide(); }
  QToolBar* GetToolBar() override { return FToolBar; }
  QWidget* GetFrame() override { return this; }
  const TFrameMenu& GetMenu() override { return FMenu; }
  QString GetCaption() const override { return QStringLiteral("Modules"); }
  QIcon GetIcon() const override { return FIcon; }

  // Rebuilds the tree from the project, keeping the selection by position.
  void RefreshTree();

  TProject* Project() const { return FController.Project(); }
  TTreeView* Tree() const { return FTree; }
  QMenu* PopupMenu() const { return FPopupMenu; }
  const std::array<int, 3>& ColumnWidths() const { return FColumnWidths; }
  // The module of the current (selected) row, or null when it is no module row.
  TModule* CurrentModule() const;
  // The folder the module file dialog starts in.
  static QString ExamplesFolder();

  TAction* actAddModule;
  TAction* actRemoveModule;
  TAction* actLoadModule;
  TAction* actUnloadModule;
  TAction* actRemoveAll;
  TAction* actLoadAll;
  TAction* actUnloadAll;

private:
  TAction* MakeAction(const QString& aCaption, int aImage, const QKeySequence& aShortcut);
  void AddModuleNode(TModule* aModule);
  void ShowReport(const std::string& aReport);

  void actAddModuleExecute();
  void actRemoveModuleExecute();
  void actLoadModuleExecute();
  void actUnloadModuleExecute();
  void actRemoveAllExecute();
  void actLoadAllExecute();
  void actUnloadAllExecute();

  IDialogs& FDialogs;
  TModulesController FController;
  QIcon FIcon;
  std::vector<int> FSelection;
  std::array<int, 3> FColumnWidths{};
  QList<QIcon> FActionImages;
  QToolBar* FToolBar;
  TTreeView* FTree = nullptr;
  QMenu* FPopupMenu;
  QMenu* FModulesMenu;
  TFrameMenu FMenu;
};

} // namespace Kalvoro
