// The results view's widgets and their wiring to its presenter: the tool bar,
// the menu merged into the main window and the context menu with Start, the
// Ctrl+S shortcut, the tree's rows, images and columns, the filter box, Run
// Failed and F8, and the file controls.
#include "GuiTestSupport.h"

#include "Actions.h"
#include "Editor.h"
#include "FMain.h"
#include "FResults.h"
#include "FilterBar.h"
#include "LinesPage.h"
#include "LinesView.h"
#include "Project.h"
#include "TreeView.h"

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>

using namespace Kalvoro;

namespace {

// Records what would open; no editor ever starts from a test.
class TRecordingLauncher : public IEditorLauncher {
public:
  QString Template() const override { return QStringLiteral("edit {file}:{line}"); }
  void SetTemplate(const QString&) override {}
  bool Start(const TEditorCommand& aCommand) override {
    Opened << aCommand.Arguments.join(QLatin1Char(' '));
    return true;
  }
  bool OpenWithDesktop(const QString& aFile) override {
    Opened << aFile;
    return true;
  }
  QStringList Opened;
};

} // namespace

class TResultsViewTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TFakeDialogs> FDialogs;
  std::unique_ptr<QTemporaryDir> FFolder;

private slots:
  void init() {
    FDialogs = std::make_unique<TFakeDialogs>();
    FFolder = std::make_unique<QTemporaryDir>();
    // The progress window is shown for real.
    FDialogs->OnExecute = [](QDialog& aDialog) { return aDialog.exec(); };
    TMorvaneApplication::Instance()->SetDialogs(FDialogs.get());
  }
  void cleanup() {
    TMorvaneApplication::Instance()->SetDialogs(nullptr);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
  }

  void TheViewShowsItsCommandsTreeAndPages() {
    TResultsFrame Frame(*FDialogs);
    Frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Frame));
    QCOMPARE(Frame.GetCaption(), QStringLiteral("Results"));
    QVERIFY(!Frame.GetIcon().isNull());
    QCOMPARE(Frame.GetToolBar()->iconSize(), QSize(24, 24));
    QCOMPARE(Frame.GetMenu().size(), 1);
    QCOMPARE(Frame.GetMenu()[0].GroupIndex, 1);
    QCOMPARE(Frame.GetMenu()[0].Menu->title(), QStringLiteral("&Results"));
    CheckCommandWidgets(Frame.Presenter().Commands(),
                        {Frame.GetToolBar(), Frame.GetMenu()[0].Menu, Frame.PopupMenu()});
    QCOMPARE(Frame.Tree()->PopupMenu(), Frame.PopupMenu());
    // Every tool button has a name a screen reader can say.
    for (QToolButton* Button : Frame.GetToolBar()->findChildren<QToolButton*>())
      if (Button->isVisibleTo(Frame.GetToolBar()) && Button->defaultAction() != nullptr)
        QVERIFY2(!Button->accessibleName().isEmpty(), qPrintable(Button->objectName()));
    QVERIFY(Frame.GetToolBar()->findChild<QWidget*>(QStringLiteral("btnSaveErrors")) != nullptr);
    // The pages in order, the Summary page first, each with its controls.
    QTabWidget* Tabs = Frame.ErrorTab();
    QCOMPARE(Tabs->count(), 3);
    QCOMPARE(Tabs->tabText(0), QStringLiteral("Summary"));
    QCOMPARE(Tabs->tabText(1), QStringLiteral("Log"));
    QCOMPARE(Tabs->tabText(2), QStringLiteral("Errors"));
    QCOMPARE(Tabs->currentIndex(), 0);
    for (TPageKind Page : PageKinds) {
      QCOMPARE(Frame.ToFileBox(Page)->text(), QStringLiteral("Log to file"));
      QCOMPARE(Frame.ChooserButton(Page)->text(), QStringLiteral(">"));
      QCOMPARE(Frame.PageView(Page)->model(), &Frame.Presenter().Page(Page));
      for (QWidget* Control : {static_cast<QWidget*>(Frame.ToFileBox(Page)),
                               static_cast<QWidget*>(Frame.FileNameBox(Page)),
                               static_cast<QWidget*>(Frame.ChooserButton(Page)),
                               static_cast<QWidget*>(Frame.PageView(Page))})
        QVERIFY(!Control->accessibleName().isEmpty());
    }
    QCOMPARE(Frame.Tree()->ColumnCount(), 3);
    QVERIFY(!Frame.Tree()->accessibleName().isEmpty());
  }

  void StartRunsFromTheShortcutAndTheMenusAndTheTreeFollows() {
    TMainForm Form(*FDialogs, {});
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    TProject* Project = Form.Project();
    Project->FileInfo().SetEnabled(pkSummary, false);
    Project->FileInfo().SetEnabled(pkLog, false);
    Project->FileInfo().SetEnabled(pkErrors, false);
    TModule* Demo = Project->Modules().AddByFileName(DemoModulePath().toStdString());
    QVERIFY(Demo->LoadModule());
    for (TUnitTestBase* UnitTest : Demo->UnitTestList())
      Project->Scenarios()[0]->AddUnitTest(UnitTest);
    Form.SwitchFrame(Form.ResultsFrame());
    TResultsFrame& Frame = *Form.ResultsFrame();
    TTreeView& Tree = *Frame.Tree();
    QVERIFY(Tree.TotalCount() > 6);
    // Fully expanded, the first row current and selected, columns fitted.
    QVERIFY(Tree.IsExpanded(Tree.TopLevelNode(0)));
    QCOMPARE(Tree.CurrentNode(), Tree.TopLevelNode(0));
    QVERIFY(Tree.IsSelected(Tree.TopLevelNode(0)));
    QVERIFY(Tree.ColumnWidth(1) >= 70);
    QVERIFY(Tree.ColumnWidth(1) >
            Tree.fontMetrics().horizontalAdvance(QStringLiteral("EXCEPTION")));
    QCOMPARE(Tree.ColumnWidth(0), Tree.width() - Tree.ColumnWidth(1) - Tree.ColumnWidth(2) - 4);
    QCOMPARE(Tree.TopLevelNode(0)->As<TTestScenario>(), Project->Scenarios()[0]);
    QCOMPARE(Tree.TopLevelNode(0)->Text(1), QStringLiteral("TODO"));
    QCOMPARE(Tree.TopLevelNode(0)->ImageIndex(), int(rtiScenario));

    // With several rows selected the current one counts.
    Tree.SetSelected(Tree.NodeAtFlatIndex(1), true);
    Tree.SetCurrentNode(Tree.NodeAtFlatIndex(1));
    QVERIFY(!Frame.Action(QStringLiteral("actStart"))->Execute());
    Tree.SetCurrentNode(Tree.TopLevelNode(0));
    QCOMPARE(Frame.Presenter().SelectedRow()->Scenario, Project->Scenarios()[0]);

    // Ctrl+S on a unit-test row does nothing.
    Tree.setFocus();
    Tree.ClearSelection();
    Tree.SetCurrentNode(Tree.NodeAtFlatIndex(1));
    Tree.SetSelected(Tree.NodeAtFlatIndex(1), true);
    RunIdle();
    QTest::keyClick(&Tree, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(FDialogs->Events.isEmpty());
    QCOMPARE(Tree.TopLevelNode(0)->Text(1), QStringLiteral("TODO"));
    // On the scenario row it runs the scenario in the progress window.
    Tree.ClearSelection();
    Tree.SetCurrentNode(Tree.TopLevelNode(0));
    Tree.SetSelected(Tree.TopLevelNode(0), true);
    RunIdle();
    QTest::keyClick(&Tree, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(FDialogs->Events, QStringList({"execute"}));
    QCOMPARE(Tree.TopLevelNode(0)->Text(1), QStringLiteral("EXCEPTION"));
    QCOMPARE(Tree.TopLevelNode(0)->SecondImageIndex(), int(rtiException));
    QVERIFY(Frame.Presenter().Page(pkLog).Count() > 10);
    // The selection is kept by position.
    QCOMPARE(Tree.CurrentNode(), Tree.TopLevelNode(0));

    // The merged "&Results" menu and the context menu start it too.
    QMenu* ResultsMenu = nullptr;
    for (QAction* Top : Form.menuBar()->actions())
      if (Top->text() == QLatin1String("&Results"))
        ResultsMenu = Top->menu();
    QVERIFY(ResultsMenu != nullptr);
    // A row the user collapsed is expanded again by the rebuild.
    Tree.Expand(Tree.TopLevelNode(0), false);
    RunIdle();
    ResultsMenu->actions().at(0)->trigger();
    QVERIFY(Tree.IsExpanded(Tree.TopLevelNode(0)));
    RunIdle();
    Frame.PopupMenu()->actions().at(0)->trigger();
    QCOMPARE(FDialogs->Events.count(QStringLiteral("execute")), 3);
    QVERIFY(FDialogs->Errors.isEmpty());
    FDialogs->ConfirmAnswers << false;
    Form.close();
  }

  void TheFilterBoxHidesRowsAndClearingBringsBackSelectionAndExpansion() {
    TMainForm Form(*FDialogs, {});
    Form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Form));
    TProject* Project = Form.Project();
    Project->FileInfo().SetEnabled(pkSummary, false);
    Project->FileInfo().SetEnabled(pkLog, false);
    Project->FileInfo().SetEnabled(pkErrors, false);
    TModule* Demo = Project->Modules().AddByFileName(DemoModulePath().toStdString());
    QVERIFY(Demo->LoadModule());
    // The crash test in a scenario of its own: Run Failed then runs two.
    TTestScenario* Crash = Project->Scenarios().AddByName("Crash");
    for (TUnitTestBase* UnitTest : Demo->UnitTestList())
      (UnitTest->Name() == "TCrashTest" ? Crash : Project->Scenarios()[0])->AddUnitTest(UnitTest);
    Form.SwitchFrame(Form.ResultsFrame());
    TResultsFrame& Frame = *Form.ResultsFrame();
    TTreeView& Tree = *Frame.Tree();
    TFilterBar& Filter = *Frame.Filter();
    QCOMPARE(Filter.Edit()->accessibleName(), QStringLiteral("Filter results"));
    for (int I = 0; I < 4; ++I)
      QVERIFY(!Filter.Toggle(I)->accessibleName().isEmpty());
    // A method row selected and its unit test's sibling collapsed.
    TTreeNode* Method = Tree.NodeAtFlatIndex(2);
    TTreeNode* Other = nullptr;
    for (int I = Tree.TopLevelNode(0)->ChildCount() - 1; I > 0 && Other == nullptr; --I)
      if (Tree.TopLevelNode(0)->Child(I)->ChildCount() > 0)
        Other = Tree.TopLevelNode(0)->Child(I);
    QVERIFY(Other != nullptr && Method->Level() == 2 && Method->Parent() != Other);
    Tree.ClearSelection();
    Tree.SetCurrentNode(Method);
    Tree.SetSelected(Method, true);
    Tree.Expand(Other, false);
    const int Rows = Tree.model()->rowCount(Tree.IndexOf(Tree.TopLevelNode(0)));
    // Ctrl+F on the tree goes to the box; typing filters at once.
    Tree.setFocus();
    QTest::keyClick(&Tree, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(Filter.Edit()->hasFocus());
    const QString Name = Other->Child(0)->Text(0);
    QTest::keyClicks(Filter.Edit(), Name);
    QVERIFY(Tree.Filtered());
    QVERIFY(Method->Hidden() || Method->Text(0).contains(Name, Qt::CaseInsensitive));
    QVERIFY(!Other->Child(0)->Hidden());
    QVERIFY(Tree.IsExpanded(Other));
    QVERIFY(Tree.model()->rowCount(Tree.IndexOf(Tree.TopLevelNode(0))) < Rows);
    // A toggle that hides every not-run method hides them all before a run.
    Filter.Toggle(2)->click();
    QVERIFY(Other->Child(0)->Hidden());
    Filter.Toggle(2)->click();
    // Escape empties the box: rows, selection and expansion come back.
    QTest::keyClick(Filter.Edit(), Qt::Key_Escape);
    QVERIFY(Filter.Text().isEmpty());
    QVERIFY(!Tree.Filtered());
    QCOMPARE(Tree.model()->rowCount(Tree.IndexOf(Tree.TopLevelNode(0))), Rows);
    QCOMPARE(Tree.SelectedNodes(), std::vector<TTreeNode*>{Method});
    QCOMPARE(Tree.CurrentNode(), Method);
    QVERIFY(!Tree.IsExpanded(Other));

    // Run Failed has its tool button, enabled once a run failed; F8 goes to
    // a failed method.
    QVERIFY(Frame.GetToolBar()->findChild<QWidget*>(QStringLiteral("btnRunFailed")) != nullptr);
    QVERIFY(!Frame.Action(QStringLiteral("actRunFailed"))->isEnabled());
    QVERIFY(Frame.Action(QStringLiteral("actStartAll"))->Execute());
    RunIdle();
    QVERIFY(Frame.Action(QStringLiteral("actRunFailed"))->isEnabled());
    // The window is active again once the progress window has gone.
    Form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Form));
    Tree.setFocus();
    QTest::keyClick(&Tree, Qt::Key_F8);
    TTreeNode* Failed = Tree.CurrentNode();
    QVERIFY(Failed != nullptr && Failed->Level() == 2);
    QVERIFY(Failed->Text(1) == QLatin1String("FAILURE") ||
            Failed->Text(1) == QLatin1String("EXCEPTION"));
    QCOMPARE(Tree.SelectedNodes(), std::vector<TTreeNode*>{Failed});
    // The details pane follows the current row: the failure, the duration,
    // the output its host kept.
    const QString Details = Frame.DetailsPane()->toPlainText();
    QVERIFY2(Details.startsWith(Failed->Parent()->Text(0) + QLatin1Char('.') + Failed->Text(0)),
             qPrintable(Details));
    QVERIFY2(Details.contains(QStringLiteral("\nFAILURE ")) ||
                 Details.contains(QStringLiteral("\nEXCEPTION in ")),
             qPrintable(Details));
    QVERIFY(Details.contains(QStringLiteral("\nDuration: ")));
    QVERIFY(Details.contains(QStringLiteral("\nOutput: ")) ||
            Details.contains(QStringLiteral("\nOutput:\n")));
    QVERIFY(!Frame.DetailsPane()->accessibleName().isEmpty());
    // Enter and double-click on a failed check's row open its place, or say
    // in the status bar that its file is not found.
    TRecordingLauncher Launcher;
    Frame.Presenter().SetEditorLauncher(&Launcher);
    TTreeNode* Divide = nullptr;
    for (int I = 0; I < Tree.TotalCount() && Divide == nullptr; ++I)
      if (Tree.NodeAtFlatIndex(I)->Text(1) == QLatin1String("FAILURE") &&
          Tree.NodeAtFlatIndex(I)->Level() == 2)
        Divide = Tree.NodeAtFlatIndex(I);
    QVERIFY(Divide != nullptr);
    Tree.ClearSelection();
    Tree.SetCurrentNode(Divide);
    Tree.SetSelected(Divide, true);
    // Each way opens once: a call to the editor, or the status bar's word.
    const auto OpensOnce = [&](const std::function<void()>& aAction) {
      QStatusTipEvent Clear{QString()};
      QCoreApplication::sendEvent(&Form, &Clear);
      const auto Before = Launcher.Opened.size();
      aAction();
      return Launcher.Opened.size() - Before +
                 (Form.StatusText().startsWith(QStringLiteral("File not found: ")) ? 1 : 0) ==
             1;
    };
    QVERIFY(OpensOnce([&] { QTest::keyClick(&Tree, Qt::Key_Return); }));
    QVERIFY(OpensOnce([&] {
      QTest::mouseDClick(Tree.viewport(), Qt::LeftButton, {}, Tree.NodeRect(Divide).center());
    }));
    Frame.Presenter().SetEditorLauncher(nullptr);
    // Run Failed over both scenarios shows one progress window.
    const auto Windows = FDialogs->Events.count(QStringLiteral("execute"));
    QVERIFY(Frame.Action(QStringLiteral("actRunFailed"))->Execute());
    QCOMPARE(FDialogs->Events.count(QStringLiteral("execute")), Windows + 1);
    QCOMPARE(Tree.TopLevelNode(1)->Text(1), QStringLiteral("EXCEPTION"));
    QCOMPARE(Frame.Presenter().Page(pkLog).Lines().back().rfind("END Crash", 0), 0u);
    FDialogs->ConfirmAnswers << false;
    Form.close();
  }

  void CheckBoxesAndFileNameBoxesReachTheProject() {
    TProject Project;
    Project.FileInfo().SetFileName(pkLog, "log.txt");
    Project.FileInfo().SetEnabled(pkLog, false);
    Project.SetFileName(FFolder->filePath(QStringLiteral("p.kvr")).toStdString());
    Project.SaveProject();
    TResultsFrame Frame(*FDialogs);
    Frame.show();
    Frame.Activate(&Project);
    QVERIFY(!Project.Modified());
    QVERIFY(!Frame.ToFileBox(pkLog)->isChecked());
    QVERIFY(!Frame.FileNameBox(pkLog)->isEnabled());
    QVERIFY(!Frame.ChooserButton(pkLog)->isEnabled());
    QVERIFY(Frame.ToFileBox(pkSummary)->isChecked());
    QCOMPARE(Frame.FileNameBox(pkLog)->text(), QStringLiteral("log.txt"));
    QTest::mouseClick(Frame.ToFileBox(pkLog), Qt::LeftButton);
    QVERIFY(Project.Modified());
    QVERIFY(Project.FileInfo().Page(pkLog).Enabled);
    QVERIFY(Frame.FileNameBox(pkLog)->isEnabled());
    QVERIFY(Frame.ChooserButton(pkLog)->isEnabled());
    // Typing reaches the presenter, which the next run writes to.
    Frame.FileNameBox(pkLog)->setFocus();
    QTest::keyClicks(Frame.FileNameBox(pkLog), QStringLiteral("2"));
    QCOMPARE(Frame.Presenter().FileControls(pkLog).FileName, QStringLiteral("log.txt2"));
    QCOMPARE(Project.FileInfo().Page(pkLog).FileName, std::string("log.txt"));
    // The chooser button asks its dialog.
    FDialogs->OpenAnswers << std::nullopt;
    QTest::mouseClick(Frame.ChooserButton(pkLog), Qt::LeftButton);
    QCOMPARE(FDialogs->OpenRequests.size(), 1);
    Frame.Deactivate();
    QCOMPARE(Frame.Tree()->TotalCount(), 0);
  }
};

KALVORO_GUI_TEST_MAIN(TResultsViewTest)
#include "ResultsViewTest.moc"
