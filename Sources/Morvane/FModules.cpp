#include "FModules.h"

#include "Application.h"
#include "Dialogs.h"
#include "Images.h"
#include "Project.h"
#include "TreeHelper.h"
#include "TreeView.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLayout>
#include <QMenu>
#include <QToolBar>
#include <QVBoxLayout>

#include <cmath>

namespace Kalvoro {

namespace {

// The size the view is designed at; the remembered column widths start from it.
constexpr int DesignWidth = 790;
constexpr int DesignHeight = 480;

QString FromPath(const std::string& aPath) {
  return QFile::decodeName(QByteArray::fromStdString(aPath));
}

// Ends a suspended update of a tree however the rebuild ends.
class TUpdateScope {
public:
  explicit TUpdateScope(TTreeView& aTree) : FTree(aTree) { FTree.BeginUpdate(); }
  ~TUpdateScope() { FTree.EndUpdate(); }
  TUpdateScope(const TUpdateScope&) = delete;
  TUpdateScope& operator=(const TUpdateScope&) = delete;

private:
  TTreeView& FTree;
};

} // namespace

TModulesFrame::TModulesFrame(IDialogs& aDialogs, QWidget* aOwner)
    : QWidget(aOwner), FDialogs(aDialogs), FActionImages(ModuleActionImages()) {
  setObjectName(QStringLiteral("ModulesFrame"));
  resize(DesignWidth, DesignHeight);
  FIcon = NavigationImages().value(0);

  actAddModule = MakeAction(QStringLiteral("Add"), 0, QKeySequence(Qt::Key_Insert));
  actRemoveModule = MakeAction(QStringLiteral("Remove"), 1, QKeySequence(Qt::Key_Delete));
  actLoadModule = MakeAction(QStringLiteral("Load"), 2, QKeySequence(Qt::CTRL | Qt::Key_L));
  actUnloadModule = MakeAction(QStringLiteral("Unload"), 3, QKeySequence(Qt::CTRL | Qt::Key_U));
  actRemoveAll =
      MakeAction(QStringLiteral("Remove All"), 4, QKeySequence(Qt::SHIFT | Qt::Key_Delete));
  actLoadAll =
      MakeAction(QStringLiteral("Load All"), 5, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_L));
  actUnloadAll =
      MakeAction(QStringLiteral("Unload All"), 6, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_U));

  actAddModule->SetUpdate([this] { return FController.CanAdd(); });
  actRemoveModule->SetUpdate([this] { return FController.CanRemove(CurrentModule()); });
  actLoadModule->SetUpdate([this] { return FController.CanLoad(CurrentModule()); });
  actUnloadModule->SetUpdate([this] { return FController.CanUnload(CurrentModule()); });
  actRemoveAll->SetUpdate([this] { return FController.CanRemoveAll(); });
  actLoadAll->SetUpdate([this] { return FController.CanLoadAll(); });
  actUnloadAll->SetUpdate([this] { return FController.CanUnloadAll(); });

  actAddModule->SetExecute([this] { actAddModuleExecute(); });
  actRemoveModule->SetExecute([this] { actRemoveModuleExecute(); });
  actLoadModule->SetExecute([this] { actLoadModuleExecute(); });
  actUnloadModule->SetExecute([this] { actUnloadModuleExecute(); });
  actRemoveAll->SetExecute([this] { actRemoveAllExecute(); });
  actLoadAll->SetExecute([this] { actLoadAllExecute(); });
  actUnloadAll->SetExecute([this] { actUnloadAllExecute(); });

  const struct {
    TAction* Action;
    const char* Hint;
  } Commands[] = {
      {actAddModule, "Add Module|Add a module to the project"},
      {actRemoveModule, "Remove Module|Remove the selected module from the project"},
      {actLoadModule, "Load Module|Load the selected module"},
      {actUnloadModule, "Unload Module|Unload the selected module"},
      {nullptr, nullptr},
      {actRemoveAll, "Remove All Modules|Remove all modules from the project"},
      {actLoadAll, "Load All Modules|Load all modules"},
      {actUnloadAll, "Unload All Modules|Unload all modules"},
  };

  FToolBar = new QToolBar(QStringLiteral("Modules"), this);
  FToolBar->setObjectName(QStringLiteral("ModulesToolBar"));
  FToolBar->setIconSize(QSize(24, 24));
  FToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  FToolBar->setMovable(false);
  FToolBar->setFloatable(false);
  FPopupMenu = new QMenu(this);
  FModulesMenu = new QMenu(QStringLiteral("&Modules"), this);
  for (const auto& Command : Commands) {
    if (Command.Action == nullptr) {
      FToolBar->addSeparator();
      FPopupMenu->addSeparator();
      FModulesMenu->addSeparator();
      continue;
    }
    // Hints stand on the tool buttons only.
    FToolBar->addAction(new TActionLink(Command.Action, TActionLink::lkButton,
                                        QString::fromLatin1(Command.Hint), this));
    FPopupMenu->addAction(new TActionLink(Command.Action, TActionLink::lkMenuItem, {}, this));
    FModulesMenu->addAction(new TActionLink(Command.Action, TActionLink::lkMenuItem, {}, this));
  }
  FMenu.append(TMenuGroup{FModulesMenu, 1});

  FTree = new TTreeView(this);
  FTree->setObjectName(QStringLiteral("Tree"));
  FTree->SetColumns({QStringLiteral("Module"), QStringLiteral("Path"), QStringLiteral("Status")});
  FTree->SetImages(ModuleTreeImages());
  FTree->SetMultiSelect(false);
  FTree->SetShowLines(true);
  FTree->SetPopupMenu(FPopupMenu);
  FTree->header()->setStretchLastSection(true);

  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(0, 0, 0, 0);
  Layout->setSpacing(0);
  Layout->addWidget(FToolBar);
  Layout->addWidget(FTree, 1);

  // Remembered widths start from the design width.
  const double Free = width() - 150;
  FColumnWidths = {static_cast<int>(std::lround(Free / 3)),
                   static_cast<int>(std::lround(Free * 2 / 3)), 100};
  for (int Column = 0; Column < 3; ++Column)
    FTree->SetColumnWidth(Column, FColumnWidths[static_cast<std::size_t>(Column)]);

  for (TAction* Action : {actAddModule, actRemoveModule, actLoadModule, actUnloadModule,
                          actRemoveAll, actLoadAll, actUnloadAll})
    Action->Update();
}

TModulesFrame::~TModulesFrame() = default;

TAction* TModulesFrame::MakeAction(const QString& aCaption, int aImage,
                                   const QKeySequence& aShortcut) {
  auto* Action = new TAction(aCaption, this);
  Action->setIcon(FActionImages.value(aImage));
  Action->setShortcut(aShortcut);
  Action->setShortcutContext(Qt::WindowShortcut);
  // Shortcuts work while the view is on show, that is while it is active.
  addAction(Action);
  return Action;
}

QString TModulesFrame::ExamplesFolder() {
  const QString Installed = QDir(QCoreApplication::applicationDirPath())
                                .filePath(QStringLiteral("../share/kalvoro/examples"));
  if (QDir(Installed).exists())
    return QDir::cleanPath(Installed);
#ifdef KALVORO_EXAMPLES_DIR
  return QStringLiteral(KALVORO_EXAMPLES_DIR);
#else
  return QDir::currentPath();
#endif
}

void TModulesFrame::Activate(TProject* aProject) {
  FController.SetProject(aProject);
  // Work with the width the view has in its panel now.
  if (parentWidget() != nullptr && parentWidget()->layout() != nullptr)
    parentWidget()->layout()->activate();
  FTree->SetColumnWidth(0, FColumnWidths[0]);
  FTree->SetColumnWidth(1, FColumnWidths[1]);
  FTree->SetColumnWidth(2, width() - FColumnWidths[0] - FColumnWidths[1] - 4);
  RefreshTree();
}

void TModulesFrame::Deactivate() {
  for (int Column = 0; Column < 3; ++Column)
    FColumnWidths[static_cast<std::size_t>(Column)] = FTree->ColumnWidth(Column);
  FController.SetProject(nullptr);
  FTree->Clear();
}

TModule* TModulesFrame::CurrentModule() const {
  if (FTree == nullptr)
    return nullptr;
  const std::vector<TTreeNode*> Selected = FTree->SelectedNodes();
  return Selected.empty() ? nullptr : Selected.front()->As<TModule>();
}

void TModulesFrame::RefreshTree() {
  TProject* Project = FController.Project();
  if (Project == nullptr)
    return;
  TUpdateScope Update(*FTree);
  SaveSelection(*FTree, FSelection);
  FTree->Clear();
  for (TModule* Module : Project->Modules())
    AddModuleNode(Module);
  RestoreSelection(*FTree, FSelection);
}

void TModulesFrame::AddModuleNode(TModule* aModule) {
  TUpdateScope Update(*FTree);
  TTreeNode* ModuleNode = FTree->AddChild(nullptr, FromPath(aModule->GetFileName()), aModule);
  FTree->SetText(ModuleNode, 1, FromPath(aModule->GetPath()));
  FTree->SetText(ModuleNode, 2, ModuleStatusText(aModule->State()));
  FTree->SetImageIndex(ModuleNode, ModuleStateImage(aModule->State()));
  for (TUnitTestBase* UnitTest : aModule->UnitTestList()) {
    TTreeNode* UnitTestNode =
        FTree->AddChild(ModuleNode, QString::fromStdString(UnitTest->Name()), UnitTest);
    FTree->SetImageIndex(UnitTestNode, UnitTestImage);
    for (TUnitTestMethod* Method : UnitTest->Methods()) {
      TTreeNode* MethodNode =
          FTree->AddChild(UnitTestNode, QString::fromStdString(Method->Name()), Method);
      FTree->SetImageIndex(MethodNode, MethodImage);
    }
  }
}

void TModulesFrame::ShowReport(const std::string& aReport) {
  FDialogs.ShowMessage(ApplicationTitle(), QString::fromStdString(aReport));
}

void TModulesFrame::actAddModuleExecute() {
  if (FController.Project() == nullptr)
    return;
  TFileDialogOptions Options;
  Options.Title = QStringLiteral("Select a module");
  Options.Filter = QStringLiteral("Modules (*.so *.bpl *.dll);;All files (*)");
  Options.InitialDir = ExamplesFolder();
  Options.FileMustExist = true;
  if (!FDialogs.OpenFile(Options))
    return;
  if (FController.Add(QFile::encodeName(Options.FileName).toStdString()))
    RefreshTree();
}

void TModulesFrame::actRemoveModuleExecute() {
  TModule* Module = CurrentModule();
  if (FController.Project() == nullptr || Module == nullptr)
    return;
  FController.Remove(Module);
  RefreshTree();
}

void TModulesFrame::actLoadModuleExecute() {
  TModule* Module = CurrentModule();
  if (FController.Project() == nullptr || Module == nullptr)
    return;
  if (const auto Report = FController.Load(Module))
    ShowReport(*Report);
  RefreshTree();
}

void TModulesFrame::actUnloadModuleExecute() {
  TModule* Module = CurrentModule();
  if (FController.Project() == nullptr || Module == nullptr)
    return;
  FController.Unload(Module);
  RefreshTree();
}

void TModulesFrame::actRemoveAllExecute() {
  if (FController.Project() == nullptr)
    return;
  FController.RemoveAll();
  RefreshTree();
}

void TModulesFrame::actLoadAllExecute() {
  if (FController.Project() == nullptr)
    return;
  const auto Report = FController.LoadAll();
  RefreshTree();
  if (Report)
    ShowReport(*Report);
}

void TModulesFrame::actUnloadAllExecute() {
  if (FController.Project() == nullptr)
    return;
  FController.UnloadAll();
  RefreshTree();
}

} // namespace Kalvoro
