// The modules view's wiring: the presenter's rows in the tree with the objects
// they stand for, the current row that the rules see, selection by position,
// errors reaching the error box after the rebuild, and the tool bar, menu,
// context menu and shortcuts made from the commands. The commands' logic is
// tested in ModulesPresenterTest.
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
    for (const char* Name : {"actAddModule", "actRemoveModule", "actLoadModule", "actUnloadModule",
                             "actRemoveAll", "actLoadAll", "actUnloadAll"})
      Result << FFrame->Action(QLatin1String(Name))->isEnabled();
    return Result;
  }
  void AddByDialog(const QString& aPath) {
    FDialogs->OpenAnswers << aPath;
    QVERIFY(FFrame->Action("actAddModule")->Execute());
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

  void TheTreeShowsThePresentersRowsWithTheirObjects() {
    AddByDialog(TestModulePath(QStringLiteral("GuiAlpha.so")));
    // Module, TAlpha (TestFirst, TestSecond), TBeta (TestOnly).
    QCOMPARE(Tree().TotalCount(), 6);
    QCOMPARE(RowText(0), QStringLiteral("GuiAlpha.so"));
    QCOMPARE(RowText(0, 1), QStringLiteral(KALVORO_GUI_TEST_MODULES_DIR "/"));
    QCOMPARE(RowText(0, 2), QStringLiteral("LOAD SUCCESS"));
    QCOMPARE(Tree().NodeAtFlatIndex(0)->ImageIndex(), int(mtiLoaded));
    QCOMPARE(Tree().NodeAtFlatIndex(0)->As<TModule>(), FProject->Modules()[0]);
    QCOMPARE(RowText(1), QStringLiteral("TAlpha"));
    QCOMPARE(RowText(1, 1), QString());
    QCOMPARE(Tree().NodeAtFlatIndex(1)->ImageIndex(), int(mtiUnitTest));
    QCOMPARE(Tree().NodeAtFlatIndex(1)->As<TUnitTestBase>(),
             FProject->Modules()[0]->UnitTestList()[0]);
    QCOMPARE(RowText(2), QStringLiteral("TestFirst"));
    QCOMPARE(Tree().NodeAtFlatIndex(2)->ImageIndex(), int(mtiMethod));
    QVERIFY(Tree().NodeAtFlatIndex(2)->Object().IsNull());
    QCOMPARE(Tree().NodeAtFlatIndex(4)->Parent(), Tree().NodeAtFlatIndex(0));
    QVERIFY(!Tree().IsExpanded(Tree().NodeAtFlatIndex(0)));
    // The first row was selected: module commands for a loaded module.
    QCOMPARE(Enabled(), (QList<bool>{true, true, false, true, true, true, true}));
  }

  void AFailedLoadReachesTheErrorBoxAfterTheTreeShowsIt() {
    QString Shown;
    FDialogs->OnEvent = [&](const QString& aEvent) {
      if (aEvent == QLatin1String("error"))
        Shown = RowText(0, 2);
    };
    FDialogs->OpenAnswers << TestModulePath(QStringLiteral("GuiNoRegister.so"));
    QVERIFY(FFrame->Action("actAddModule")->Execute());
    QCOMPARE(FDialogs->Errors.size(), 1);
    QCOMPARE(FDialogs->Errors[0].Caption, ApplicationTitle());
    QVERIFY(FDialogs->Errors[0].Text.contains(QStringLiteral("\"Register\"")));
    QCOMPARE(Shown, QStringLiteral("LOAD FAILED"));
    QCOMPARE(Tree().NodeAtFlatIndex(0)->ImageIndex(), int(mtiLoadFailed));
  }

  void RemovingTheOnlyModuleLeavesNothingSelected() {
    AddByDialog(TestModulePath(QStringLiteral("GuiGamma.so")));
    MarkSaved();
    Select(0);
    QVERIFY(FFrame->Action("actRemoveModule")->Execute());
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
      QVERIFY(!FFrame->Action("actRemoveModule")->Execute());
    }
    QCOMPARE(FProject->Modules().Count(), 1);
  }

  void LoadAllKeepsTheSelectionByPosition() {
    FProject->Modules().AddByFileName(PathOf("GuiAlpha.so"));
    FProject->Modules().AddByFileName(PathOf("GuiGamma.so"));
    FFrame->RefreshTree();
    Select(1);
    QCOMPARE(FFrame->CurrentModule(), FProject->Modules()[1]);
    FFrame->Action("actLoadAll")->Execute();
    // Flat index 1 is now the first module's first unit test.
    QCOMPARE(Tree().SelectedCount(), 1);
    QCOMPARE(Tree().SelectedNodes().front()->Text(0), QStringLiteral("TAlpha"));
    QCOMPARE(FFrame->CurrentModule(), nullptr);
  }

  void ToolBarMenusAndHintsAreInTheirOrder() {
    FFrame->show();
    QVERIFY(QTest::qWaitForWindowExposed(FFrame.get()));
    QCOMPARE(FFrame->GetMenu().size(), 1);
    QCOMPARE(FFrame->GetMenu()[0].GroupIndex, 1);
    QCOMPARE(FFrame->GetMenu()[0].Menu->title(), QStringLiteral("&Modules"));
    CheckCommandWidgets(FFrame->Presenter().Commands(),
                        {FFrame->GetToolBar(), FFrame->GetMenu()[0].Menu, FFrame->PopupMenu()});
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
    QCOMPARE(Tree().accessibleName(), QStringLiteral("Modules"));
    // An icon-only button is named by the short part of its hint.
    for (QAction* Action : FFrame->GetToolBar()->actions())
      if (!Action->isSeparator()) {
        QWidget* Button = FFrame->GetToolBar()->widgetForAction(Action);
        QCOMPARE(Button->accessibleName(), ShortHint(static_cast<TActionLink*>(Action)->Hint()));
      }
  }

  void ColumnWidthsAreRememberedAcrossActivations() {
    TModulesFrame Fresh(*FDialogs);
    QCOMPARE(Fresh.ColumnWidths(), (std::array<int, 4>{173, 347, 100, 120}));
    QCOMPARE(Tree().ColumnWidth(0), 173);
    QCOMPARE(Tree().ColumnWidth(1), 347);
    // Status takes the rest of the width that Kind leaves.
    QVERIFY(Tree().ColumnWidth(2) >= FFrame->width() - 173 - 347 - 120 - 4);
    QCOMPARE(Tree().ColumnWidth(0) + Tree().ColumnWidth(1) + Tree().ColumnWidth(2) +
                 Tree().ColumnWidth(3),
             Tree().viewport()->width());
    QCOMPARE(Tree().model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Status"));
    QCOMPARE(Tree().model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Kind"));
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

    // Del removes the current module only, and nothing on another row;
    // Shift+Del removes them all.
    AddByDialog(TestModulePath(QStringLiteral("GuiGamma.so")));
    QCOMPARE(RowText(1), QStringLiteral("GuiGamma.so"));
    Select(2);
    RunIdle();
    QTest::keyClick(&Tree(), Qt::Key_Delete);
    QCOMPARE(FProject->Modules().Count(), 2);
    Select(0);
    RunIdle();
    QTest::keyClick(&Tree(), Qt::Key_Delete);
    QCOMPARE(FProject->Modules().Count(), 1);
    QCOMPARE(FProject->Modules()[0]->GetFileName(), std::string("GuiGamma.so"));
    AddByDialog(TestModulePath(QStringLiteral("GuiAlpha.so")));
    RunIdle();
    QTest::keyClick(&Tree(), Qt::Key_Delete, Qt::ShiftModifier);
    QCOMPARE(FProject->Modules().Count(), 0);
    QCOMPARE(Tree().TotalCount(), 0);
  }
};

KALVORO_GUI_TEST_MAIN(TModulesViewTest)
#include "ModulesViewTest.moc"
