// The modules view: its commands and enabling rules on a project, the rows it
// shows, selection by position, reports of assignments that did not fit, and
// its tool bar, menu, context menu and shortcuts.
#include "GuiTestSupport.h"

#include "FModules.h"
#include "Project.h"
#include "TreeView.h"

#include <QHeaderView>
#include <QMainWindow>
#include <QMenu>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>

#include <memory>

using namespace Kalvoro;

namespace {

QStringList EntryTexts(const QList<QAction*>& aActions) {
  QStringList Texts;
  for (QAction* Action : aActions)
    Texts << (Action->isSeparator() ? QStringLiteral("-") : Action->text().section('\t', 0, 0));
  return Texts;
}

std::string PathOf(const QString& aModule) {
  return TestModulePath(aModule).toStdString();
}

} // namespace

class TModulesViewTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TFakeDialogs> FDialogs;
  std::unique_ptr<QTemporaryDir> FFolder;
  std::unique_ptr<TProject> FProject;
  std::unique_ptr<TModulesFrame> FFrame;

  // Saves the project so that its Modified flag is clear.
  void MarkSaved() {
    FProject->SetFileName(FFolder->filePath(QStringLiteral("p.kvr")).toStdString());
    FProject->SaveProject();
    QVERIFY(!FProject->Modified());
  }
  TTreeView& Tree() { return *FFrame->Tree(); }
  QString RowText(int aFlatIndex, int aColumn = 0) {
    TTreeNode* Node = Tree().NodeAtFlatIndex(aFlatIndex);
    return Node != nullptr ? Node->Text(aColumn) : QStringLiteral("<none>");
  }
  void Select(int aFlatIndex) {
    Tree().ClearSelection();
    Tree().SetSelected(Tree().NodeAtFlatIndex(aFlatIndex), true);
    Tree().SetCurrentNode(Tree().NodeAtFlatIndex(aFlatIndex));
  }
  // Enabled state of the seven actions after an idle pass, in their order.
  QList<bool> Enabled() {
    RunIdle();
    QList<bool> Result;
    for (TAction* Action :
         {FFrame->actAddModule, FFrame->actRemoveModule, FFrame->actLoadModule,
          FFrame->actUnloadModule, FFrame->actRemoveAll, FFrame->actLoadAll, FFrame->actUnloadAll})
      Result << Action->isEnabled();
    return Result;
  }
  void AddByDialog(const QString& aPath) {
    FDialogs->OpenAnswers << aPath;
    QVERIFY(FFrame->actAddModule->Execute());
  }

private slots:
  void init() {
    FDialogs = std::make_unique<TFakeDialogs>();
    FFolder = std::make_unique<QTemporaryDir>();
    TMorvaneApplication::Instance()->SetDialogs(FDialogs.get());
    FProject = std::make_unique<TProject>();
    FFrame = std::make_unique<TModulesFrame>(*FDialogs);
    FFrame->resize(790, 400);
    FFrame->Show();
    FFrame->Activate(FProject.get());
  }
  void cleanup() {
    FFrame->Deactivate();
    FFrame.reset();
    FProject.reset();
    TMorvaneApplication::Instance()->SetDialogs(nullptr);
    FDialogs.reset();
    FFolder.reset();
  }

  void AnEmptyProjectOffersOnlyTheProjectWideCommands() {
    QCOMPARE(Tree().TotalCount(), 0);
    QCOMPARE(Enabled(), (QList<bool>{true, false, false, false, true, true, true}));
    // An inactive view offers nothing.
    FFrame->Deactivate();
    QCOMPARE(Enabled(), (QList<bool>{false, false, false, false, false, false, false}));
    FFrame->Activate(FProject.get());
  }

  void AddingALoadableModuleShowsItAndFillsDefaultScenario() {
    MarkSaved();
    AddByDialog(TestModulePath(QStringLiteral("GuiAlpha.so")));
    const TFileDialogOptions& Request = FDialogs->OpenRequests.at(0);
    QCOMPARE(Request.Title, QStringLiteral("Select a module"));
    QCOMPARE(Request.InitialDir, TModulesFrame::ExamplesFolder());
    for (const char* Pattern : {"*.so", "*.bpl", "*.dll", "All files"})
      QVERIFY2(Request.Filter.contains(QLatin1String(Pattern)), Pattern);
    QVERIFY(FProject->Modified());

    // Module, TAlpha (TestFirst, TestSecond), TBeta (TestOnly).
    QCOMPARE(Tree().TotalCount(), 6);
    QCOMPARE(RowText(0), QStringLiteral("GuiAlpha.so"));
    QCOMPARE(RowText(0, 1), QStringLiteral(KALVORO_GUI_TEST_MODULES_DIR "/"));
    QCOMPARE(RowText(0, 2), QStringLiteral("LOAD SUCCESS"));
    QCOMPARE(Tree().NodeAtFlatIndex(0)->ImageIndex(), 1);
    QCOMPARE(RowText(1), QStringLiteral("TAlpha"));
    QCOMPARE(RowText(1, 1), QString());
    QCOMPARE(Tree().NodeAtFlatIndex(1)->ImageIndex(), 3);
    QCOMPARE(RowText(2), QStringLiteral("TestFirst"));
    QCOMPARE(Tree().NodeAtFlatIndex(2)->ImageIndex(), 4);
    QVERIFY(Tree().NodeAtFlatIndex(2)->As<TUnitTestMethod>() != nullptr);
    QCOMPARE(Tree().NodeAtFlatIndex(2)->As<TModule>(), nullptr);
    QCOMPARE(Tree().NodeAtFlatIndex(1)->As<TUnitTestBase>(),
             FProject->Modules()[0]->UnitTestList()[0]);
    QCOMPARE(RowText(4), QStringLiteral("TBeta"));
    QVERIFY(!Tree().IsExpanded(Tree().NodeAtFlatIndex(0)));

    TTestScenario* Default = FProject->Scenarios()[0];
    QCOMPARE(Default->GetUnitTestCount(), 2);
    QVERIFY(Default->GetUnitTest(0)->Enabled() && Default->GetUnitTest(1)->Enabled());
    QVERIFY(FProject->Modules()[0]->Assignments().empty());
    QVERIFY(FDialogs->Messages.isEmpty());
    // The first row was selected: module commands for a loaded module.
    QCOMPARE(Enabled(), (QList<bool>{true, true, false, true, true, true, true}));
  }

  void WithoutDefaultScenarioTheUnitTestsStayUnassignedQuietly() {
    FProject->Scenarios()[0]->SetName("Renamed");
    AddByDialog(TestModulePath(QStringLiteral("GuiAlpha.so")));
    QCOMPARE(FProject->Scenarios()[0]->GetUnitTestCount(), 0);
    for (TUnitTestBase* UnitTest : FProject->Modules()[0]->UnitTestList())
      QCOMPARE(UnitTest->TestScenario(), nullptr);
    QVERIFY(FDialogs->Messages.isEmpty());
    QVERIFY(FDialogs->Errors.isEmpty());
  }

  void TheSamePathIsAddedOnceButOtherLetterCaseIsAnotherModule() {
    QVERIFY(QFile::copy(TestModulePath(QStringLiteral("GuiGamma.so")),
                        FFolder->filePath(QStringLiteral("Gamma.so"))));
    QVERIFY(QFile::copy(TestModulePath(QStringLiteral("GuiGamma.so")),
                        FFolder->filePath(QStringLiteral("GAMMA.so"))));
    AddByDialog(FFolder->filePath(QStringLiteral("Gamma.so")));
    MarkSaved();
    AddByDialog(FFolder->filePath(QStringLiteral("Gamma.so")));
    QCOMPARE(FProject->Modules().Count(), 1);
    QVERIFY(!FProject->Modified());
    AddByDialog(FFolder->filePath(QStringLiteral("GAMMA.so")));
    QCOMPARE(FProject->Modules().Count(), 2);
    QCOMPARE(RowText(Tree().TotalCount() - 3), QStringLiteral("GAMMA.so"));
    // A cancelled dialog adds nothing.
    FDialogs->OpenAnswers << std::nullopt;
    FFrame->actAddModule->Execute();
    QCOMPARE(FProject->Modules().Count(), 2);
  }

  void RemovingTheOnlyModuleLeavesNothingSelected() {
    AddByDialog(TestModulePath(QStringLiteral("GuiGamma.so")));
    MarkSaved();
    Select(0);
    QVERIFY(FFrame->actRemoveModule->Execute());
    QCOMPARE(FProject->Modules().Count(), 0);
    QCOMPARE(Tree().TotalCount(), 0);
    QCOMPARE(Tree().SelectedCount(), 0);
    QVERIFY(FProject->Modified());
    QCOMPARE(FProject->Scenarios()[0]->GetUnitTestCount(), 0);
  }

  void UnitTestAndMethodRowsDisableTheModuleCommands() {
    AddByDialog(TestModulePath(QStringLiteral("GuiAlpha.so")));
    for (int Row : {1, 2}) {
      Select(Row);
      QCOMPARE(Enabled(), (QList<bool>{true, false, false, false, true, true, true}));
      QVERIFY(!FFrame->actRemoveModule->Execute());
    }
    QCOMPARE(FProject->Modules().Count(), 1);
  }

  void AModuleWithoutRegisterFailsButStaysInTheProject() {
    AddByDialog(TestModulePath(QStringLiteral("GuiNoRegister.so")));
    QCOMPARE(FDialogs->Errors.size(), 1);
    QVERIFY(FDialogs->Errors[0].Text.contains(QStringLiteral("\"Register\"")));
    QCOMPARE(FProject->Modules().Count(), 1);
    QCOMPARE(FProject->Modules()[0]->State(), msLoadFailed);
    // The error ended the command before the rebuild.
    QCOMPARE(Tree().TotalCount(), 0);
    FFrame->RefreshTree();
    QCOMPARE(RowText(0, 2), QStringLiteral("LOAD FAILED"));
    QCOMPARE(Tree().NodeAtFlatIndex(0)->ImageIndex(), 2);
    QCOMPARE(Enabled(), (QList<bool>{true, true, true, false, true, true, true}));

    // Load loads nothing (the library is still held) but marks the project.
    MarkSaved();
    QVERIFY(FFrame->actLoadModule->Execute());
    QVERIFY(FProject->Modified());
    QCOMPARE(FProject->Modules()[0]->State(), msLoadFailed);
    QCOMPARE(FDialogs->Errors.size(), 1);
    QVERIFY(FFrame->actRemoveModule->Execute());
    QCOMPARE(FProject->Modules().Count(), 0);
  }

  void UnloadThenLoadRestoresTheMemberships() {
    AddByDialog(TestModulePath(QStringLiteral("GuiAlpha.so")));
    TModule* Module = FProject->Modules()[0];
    TTestScenario* Default = FProject->Scenarios()[0];
    TTestScenario* Smoke = FProject->Scenarios().AddByName("Smoke");
    TUnitTestBase* Beta = Module->UnitTestList().FindByName("TBeta");
    Default->RemoveUnitTest(Beta);
    Smoke->AddUnitTest(Beta);
    Beta->SetEnabled(false);

    Select(0);
    MarkSaved();
    QVERIFY(FFrame->actUnloadModule->Execute());
    QVERIFY(FProject->Modified());
    QCOMPARE(Module->State(), msNotLoaded);
    QCOMPARE(Tree().TotalCount(), 1);
    QCOMPARE(RowText(0, 2), QStringLiteral("NOT LOADED"));
    QCOMPARE(Tree().NodeAtFlatIndex(0)->ImageIndex(), 0);
    QCOMPARE(Default->GetUnitTestCount(), 0);
    QCOMPARE(Enabled(), (QList<bool>{true, true, true, false, true, true, true}));

    QVERIFY(FFrame->actLoadModule->Execute());
    QVERIFY(FDialogs->Messages.isEmpty());
    QCOMPARE(Default->GetUnitTestCount(), 1);
    QCOMPARE(Default->GetUnitTest(0)->Name(), std::string("TAlpha"));
    QVERIFY(Default->GetUnitTest(0)->Enabled());
    QCOMPARE(Smoke->GetUnitTestCount(), 1);
    QCOMPARE(Smoke->GetUnitTest(0)->Name(), std::string("TBeta"));
    QVERIFY(!Smoke->GetUnitTest(0)->Enabled());
    QCOMPARE(RowText(0, 2), QStringLiteral("LOAD SUCCESS"));
  }

  void LoadShowsTheReportOfAssignmentsThatDidNotFit() {
    TModule* Module = FProject->Modules().AddByFileName(PathOf("GuiGamma.so"));
    Module->Assignments() = {"TGamma|Nightly|ENABLED"};
    FFrame->RefreshTree();
    Select(0);
    QVERIFY(FFrame->actLoadModule->Execute());
    QCOMPARE(FDialogs->Messages.size(), 1);
    QCOMPARE(FDialogs->Messages[0].Text,
             QStringLiteral("The following error occurred when loading module \"GuiGamma.so\":\r"
                            "* TestScenario \"Nightly\" not found.\r"
                            "* UnitTest \"TGamma\" is not assigned to a TestScenario.\r"));
    QCOMPARE(Module->State(), msLoadSuccess);
  }

  void LoadAllShowsOnlyTheFailingReportsAfterTheRebuild() {
    TModule* Alpha = FProject->Modules().AddByFileName(PathOf("GuiAlpha.so"));
    Alpha->Assignments() = {"TAlpha|Default Scenario|ENABLED", "TBeta|Default Scenario|DISABLED"};
    TModule* Gamma = FProject->Modules().AddByFileName(PathOf("GuiGamma.so"));
    Gamma->Assignments() = {"TGamma|Nightly|ENABLED"};
    FFrame->RefreshTree();
    MarkSaved();
    bool Rebuilt = false;
    FDialogs->OnEvent = [&](const QString&) {
      Rebuilt = Tree().TotalCount() == 9 && RowText(8, 0) == QLatin1String("TestGamma");
    };
    QVERIFY(FFrame->actLoadAll->Execute());
    QCOMPARE(FDialogs->Messages.size(), 1);
    QVERIFY(Rebuilt);
    QVERIFY(FDialogs->Messages[0].Text.startsWith(
        QStringLiteral("The following error occurred when loading module \"GuiGamma.so\":")));
    QVERIFY(!FDialogs->Messages[0].Text.contains(QStringLiteral("GuiAlpha")));
    QVERIFY(FProject->Modified());
    QVERIFY(!FProject->Scenarios()[0]->GetUnitTest(1)->Enabled());

    // Everything loaded: Load All loads nothing and marks nothing.
    MarkSaved();
    FFrame->actLoadAll->Execute();
    QVERIFY(!FProject->Modified());
    QCOMPARE(FDialogs->Messages.size(), 1);
  }

  void LoadAllKeepsTheSelectionByPosition() {
    FProject->Modules().AddByFileName(PathOf("GuiAlpha.so"));
    FProject->Modules().AddByFileName(PathOf("GuiGamma.so"));
    FFrame->RefreshTree();
    Select(1);
    QCOMPARE(FFrame->CurrentModule(), FProject->Modules()[1]);
    FFrame->actLoadAll->Execute();
    // Flat index 1 is now the first module's first unit test.
    QCOMPARE(Tree().SelectedCount(), 1);
    QCOMPARE(Tree().SelectedNodes().front()->Text(0), QStringLiteral("TAlpha"));
    QCOMPARE(FFrame->CurrentModule(), nullptr);
  }

  void ALoadErrorStopsLoadAllWhereItArose() {
    FProject->Modules().AddByFileName(PathOf("GuiNoRegister.so"));
    TModule* Alpha = FProject->Modules().AddByFileName(PathOf("GuiAlpha.so"));
    FFrame->RefreshTree();
    FFrame->actLoadAll->Execute();
    QCOMPARE(FDialogs->Errors.size(), 1);
    QVERIFY(FDialogs->Messages.isEmpty());
    QCOMPARE(Alpha->State(), msNotLoaded);
    // Not rebuilt: the first row still shows the state before the command.
    QCOMPARE(RowText(0, 2), QStringLiteral("NOT LOADED"));
  }

  void UnloadAllMarksTheProjectOncePerModule() {
    MarkSaved();
    FFrame->actUnloadAll->Execute();
    QVERIFY(!FProject->Modified());
    FProject->Modules().AddByFileName(PathOf("GuiGamma.so"));
    MarkSaved();
    FFrame->actUnloadAll->Execute();
    QVERIFY(FProject->Modified());

    AddByDialog(TestModulePath(QStringLiteral("GuiAlpha.so")));
    FFrame->actUnloadAll->Execute();
    for (TModule* Module : FProject->Modules())
      QCOMPARE(Module->State(), msNotLoaded);
    QCOMPARE(Tree().TotalCount(), 2);
    FFrame->actRemoveAll->Execute();
    QCOMPARE(FProject->Modules().Count(), 0);
    QCOMPARE(Tree().TotalCount(), 0);
  }

  void ToolBarMenusAndHintsAreInTheirOrder() {
    const QStringList Order{"Add", "Remove",     "Load",     "Unload",
                            "-",   "Remove All", "Load All", "Unload All"};
    QCOMPARE(EntryTexts(FFrame->GetToolBar()->actions()), Order);
    QCOMPARE(EntryTexts(FFrame->PopupMenu()->actions()), Order);
    QCOMPARE(FFrame->GetMenu().size(), 1);
    QCOMPARE(FFrame->GetMenu()[0].GroupIndex, 1);
    QCOMPARE(FFrame->GetMenu()[0].Menu->title(), QStringLiteral("&Modules"));
    QCOMPARE(EntryTexts(FFrame->GetMenu()[0].Menu->actions()), Order);
    QCOMPARE(FFrame->GetCaption(), QStringLiteral("Modules"));
    QVERIFY(!FFrame->GetIcon().isNull());
    QCOMPARE(FFrame->GetToolBar()->iconSize(), QSize(24, 24));
    // The tree: one row at a time, connecting lines and expand buttons from the
    // top level on, no dragging, the view's context menu.
    QVERIFY(!Tree().MultiSelect());
    QVERIFY(Tree().ShowLines());
    QVERIFY(Tree().rootIsDecorated());
    QVERIFY(!Tree().dragEnabled());
    QCOMPARE(Tree().PopupMenu(), FFrame->PopupMenu());

    const QStringList Hints{"Add Module|Add a module to the project",
                            "Remove Module|Remove the selected module from the project",
                            "Load Module|Load the selected module",
                            "Unload Module|Unload the selected module",
                            "Remove All Modules|Remove all modules from the project",
                            "Load All Modules|Load all modules",
                            "Unload All Modules|Unload all modules"};
    QStringList Shown;
    for (QAction* Action : FFrame->GetToolBar()->actions())
      if (!Action->isSeparator()) {
        auto* Button = qobject_cast<QToolButton*>(FFrame->GetToolBar()->widgetForAction(Action));
        Shown << Button->toolTip() + "|" + Button->statusTip();
      }
    QCOMPARE(Shown, Hints);
    // Menu entries carry no hint, but show the shortcuts.
    const QList<QAction*> MenuEntries = FFrame->GetMenu()[0].Menu->actions();
    QVERIFY(MenuEntries[0]->statusTip().isEmpty());
    QCOMPARE(FFrame->actAddModule->shortcut(), QKeySequence(Qt::Key_Insert));
    QCOMPARE(FFrame->actRemoveModule->shortcut(), QKeySequence(Qt::Key_Delete));
    QCOMPARE(FFrame->actLoadModule->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
    QCOMPARE(FFrame->actUnloadModule->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_U));
    QCOMPARE(FFrame->actRemoveAll->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    QCOMPARE(FFrame->actLoadAll->shortcut(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_L));
    QCOMPARE(FFrame->actUnloadAll->shortcut(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_U));
    QVERIFY(MenuEntries[2]->text().endsWith(
        QKeySequence(Qt::CTRL | Qt::Key_L).toString(QKeySequence::NativeText)));
  }

  void ColumnWidthsAreRememberedAcrossActivations() {
    TModulesFrame Fresh(*FDialogs);
    QCOMPARE(Fresh.ColumnWidths(), (std::array<int, 3>{213, 427, 100}));
    QCOMPARE(Tree().ColumnWidth(0), 213);
    QCOMPARE(Tree().ColumnWidth(1), 427);
    // Status takes the rest of the width.
    QVERIFY(Tree().ColumnWidth(2) >= FFrame->width() - 213 - 427 - 4);
    QCOMPARE(Tree().ColumnWidth(0) + Tree().ColumnWidth(1) + Tree().ColumnWidth(2),
             Tree().viewport()->width());
    QCOMPARE(Tree().model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Status"));
    Tree().SetColumnWidth(0, 150);
    FFrame->Deactivate();
    QCOMPARE(FFrame->ColumnWidths()[0], 150);
    QCOMPARE(FFrame->Project(), nullptr);
    FFrame->Activate(FProject.get());
    QCOMPARE(Tree().ColumnWidth(0), 150);
  }

  void ShortcutsAndTheContextMenuRunTheCommands() {
    AddByDialog(TestModulePath(QStringLiteral("GuiAlpha.so")));
    QMainWindow Window;
    Window.setCentralWidget(FFrame.get());
    // The frame belongs to the test, not to the window.
    const auto GiveBack = qScopeGuard([&] { FFrame->setParent(nullptr); });
    Window.show();
    Window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Window));
    Tree().setFocus();
    TModule* Module = FProject->Modules()[0];

    Select(0);
    RunIdle();
    QTest::keyClick(&Tree(), Qt::Key_U, Qt::ControlModifier);
    QCOMPARE(Module->State(), msNotLoaded);
    RunIdle();
    QTest::keyClick(&Tree(), Qt::Key_L, Qt::ControlModifier);
    QCOMPARE(Module->State(), msLoadSuccess);

    // On a unit-test row the shortcut does nothing.
    Select(1);
    RunIdle();
    QTest::keyClick(&Tree(), Qt::Key_U, Qt::ControlModifier);
    QCOMPARE(Module->State(), msLoadSuccess);

    Select(0);
    RunIdle();
    QAction* Unload = FFrame->PopupMenu()->actions().at(3);
    Unload->trigger();
    QCOMPARE(Module->State(), msNotLoaded);
    QTest::keyClick(&Tree(), Qt::Key_Delete);
    QCOMPARE(FProject->Modules().Count(), 0);
  }
};

KALVORO_GUI_TEST_MAIN(TModulesViewTest)
#include "ModulesViewTest.moc"
