// The scenarios view's wiring, which only widgets have: check boxes clicked and
// toggled with Space, drag and drop between its trees through the viewports'
// events, double-clicks, the context menu, the tool bar and strip, the
// shortcuts, the merged menu, the layout and the controls' names. What the
// commands do is tested on the presenter.
#include "GuiTestSupport.h"

#include "FMain.h"
#include "FScenarios.h"
#include "Project.h"
#include "TreeView.h"

#include <QAbstractButton>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSplitter>
#include <QStyle>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>

#include <memory>

using namespace Kalvoro;

namespace {

// Where the row's check box is, in viewport coordinates.
QPoint CheckBoxPoint(TTreeView& aTree, TTreeNode* aNode) {
  QStyleOptionViewItem Option;
  Option.initFrom(&aTree);
  Option.rect = aTree.visualRect(aTree.IndexOf(aNode));
  Option.features |= QStyleOptionViewItem::HasCheckIndicator;
  Option.state |= QStyle::State_Enabled;
  return aTree.style()
      ->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &Option, &aTree)
      .center();
}

// Sends a drag from aSource over aTarget's row (null: below every row) and
// drops it there; returns whether the drop was accepted.
bool DragAndDrop(TTreeView* aSource, TTreeView& aTarget, TTreeNode* aRow) {
  QMimeData Data;
  Data.setData(TTreeView::DragMimeType(), QByteArray::number(reinterpret_cast<quintptr>(aSource)));
  const QPoint Point = aRow != nullptr ? aTarget.NodeRect(aRow).center()
                                       : QPoint(5, aTarget.viewport()->height() - 3);
  QWidget* Viewport = aTarget.viewport();
  QDragEnterEvent Enter(Point, Qt::MoveAction, &Data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Viewport, &Enter);
  if (!Enter.isAccepted())
    return false;
  QDragMoveEvent Move(Point, Qt::MoveAction, &Data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Viewport, &Move);
  QDropEvent Drop(QPointF(Point), Qt::MoveAction, &Data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Viewport, &Drop);
  return Move.isAccepted() && Drop.isAccepted();
}

} // namespace

class TScenariosViewTest : public QObject {
  Q_OBJECT

  std::unique_ptr<TFakeDialogs> FDialogs;
  std::unique_ptr<QTemporaryDir> FFolder;
  std::unique_ptr<TProject> FProject;
  std::unique_ptr<TScenariosFrame> FFrame;

  TUnitTestBase* UnitTest(const char* aName) const {
    return FProject->Modules()[0]->UnitTestList().FindByName(aName);
  }
  TTestScenario* Scenario(const char* aName) const {
    return FProject->Scenarios().FindByName(aName);
  }
  TTreeView& Tree() const { return *FFrame->Tree(); }
  TTreeView& List() const { return *FFrame->UnitTestsTree(); }
  TTreeNode* Row(int aFlatIndex) const { return Tree().NodeAtFlatIndex(aFlatIndex); }
  void Saved() {
    FProject->SetFileName(FFolder->filePath(QStringLiteral("View.kvr")).toStdString());
    FProject->SaveProject();
  }

private slots:
  // "Default Scenario" with TAlpha, "Smoke" empty, TBeta available; the view
  // active and on show.
  void init() {
    FDialogs = std::make_unique<TFakeDialogs>();
    FFolder = std::make_unique<QTemporaryDir>();
    FProject = std::make_unique<TProject>();
    TModule* Module = FProject->Modules().AddByFileName(
        TestModulePath(QStringLiteral("GuiAlpha.so")).toStdString());
    QVERIFY(Module->LoadModule());
    FProject->Scenarios().AddByName("Smoke");
    Scenario("Default Scenario")->AddUnitTest(UnitTest("TAlpha"));
    FFrame = std::make_unique<TScenariosFrame>(*FDialogs);
    FFrame->resize(700, 400);
    FFrame->show();
    QVERIFY(QTest::qWaitForWindowExposed(FFrame.get()));
    Saved();
    FFrame->Activate(FProject.get());
  }
  void cleanup() {
    FFrame.reset();
    FProject.reset();
  }

  void activationShowsTheTreesWithoutMarkingTheProject() {
    QVERIFY(!FProject->Modified()); // setting the boxes is no user change
    QCOMPARE(Tree().TotalCount(), 3);
    QVERIFY(Row(0)->HasCheckBox() && Row(0)->Checked());
    QCOMPARE(Row(1)->Text(1), QStringLiteral("GuiAlpha.so"));
    QCOMPARE(Row(1)->As<TUnitTestBase>(), UnitTest("TAlpha"));
    QVERIFY(Tree().IsExpanded(Row(0)));
    QCOMPARE(List().TotalCount(), 1);
    QVERIFY(!List().TopLevelNode(0)->HasCheckBox());
    // The list is 200 pixels wide at every activation; the columns follow.
    QCOMPARE(List().width(), 200);
    QCOMPARE(List().ColumnWidth(0), 196);
    QCOMPARE(Tree().ColumnWidth(0), Tree().width() - 134);
    QCOMPARE(Tree().ColumnWidth(1), 130);
    auto* Splitter = FFrame->findChild<QSplitter*>(QStringLiteral("Splitter"));
    Splitter->setSizes({300, 350});
    QTRY_COMPARE(List().ColumnWidth(0), List().width() - 4);
    FFrame->Deactivate();
    QCOMPARE(Tree().TotalCount(), 0);
    QCOMPARE(List().TotalCount(), 0);
    FFrame->Activate(FProject.get());
    QCOMPARE(List().width(), 200);
  }

  void checkBoxesToggleByMouseAndSpace() {
    // The last enabled unit test's box clears its scenario's box.
    QTest::mouseClick(Tree().viewport(), Qt::LeftButton, {}, CheckBoxPoint(Tree(), Row(1)));
    QVERIFY(!UnitTest("TAlpha")->Enabled());
    QVERIFY(FProject->Modified());
    QTRY_VERIFY(!Row(0)->Checked());
    QVERIFY(!Row(1)->Checked());
    // Space on the current scenario row ticks it and its unit tests.
    Tree().setFocus();
    Tree().SetCurrentNode(Row(0));
    QTest::keyClick(&Tree(), Qt::Key_Space);
    QVERIFY(Scenario("Default Scenario")->Enabled());
    QTRY_VERIFY(Row(1)->Checked());
    QVERIFY(UnitTest("TAlpha")->Enabled());
  }

  void dragAndDropGoesBetweenTheTreesOnly() {
    TTreeView Stranger;
    List().SetSelected(List().TopLevelNode(0), true);
    // Refused: the tree's own rows, another tree's, a drop outside every row.
    QVERIFY(!DragAndDrop(&Tree(), Tree(), Row(2)));
    QVERIFY(!DragAndDrop(&Stranger, Tree(), Row(2)));
    QVERIFY(!DragAndDrop(&List(), List(), nullptr));
    QVERIFY(DragAndDrop(&List(), Tree(), nullptr));
    QVERIFY(!FProject->Modified());
    // Onto the unit-test row of Default Scenario while Smoke is current.
    Tree().SetCurrentNode(Row(2));
    QVERIFY(DragAndDrop(&List(), Tree(), Row(1)));
    QCOMPARE(UnitTest("TBeta")->TestScenario(), Scenario("Default Scenario"));
    QCOMPARE(List().TotalCount(), 0);
    // Scenario-tree rows dropped on the list leave their scenarios.
    Tree().ClearSelection();
    Tree().SetSelected(Row(0), true);
    Tree().SetSelected(Row(2), true);
    QVERIFY(DragAndDrop(&Tree(), List(), nullptr));
    QCOMPARE(UnitTest("TBeta")->TestScenario(), nullptr);
    QCOMPARE(UnitTest("TAlpha")->TestScenario(), Scenario("Default Scenario"));
    QCOMPARE(List().TotalCount(), 1);
  }

  void doubleClicksRunTheTreesCommands() {
    // On the list: Add Selected into the current row's scenario.
    Tree().ClearSelection();
    Tree().SetCurrentNode(Row(2));
    const QPoint ListRow = List().NodeRect(List().TopLevelNode(0)).center();
    QTest::mouseClick(List().viewport(), Qt::LeftButton, {}, ListRow);
    QTest::mouseDClick(List().viewport(), Qt::LeftButton, {}, ListRow);
    QCOMPARE(UnitTest("TBeta")->TestScenario(), Scenario("Smoke"));
    QCOMPARE(Tree().TotalCount(), 4);
    // On the tree: Remove Selected.
    const QPoint TreeRow = Tree().NodeRect(Row(3)).center();
    QTest::mouseClick(Tree().viewport(), Qt::LeftButton, {}, TreeRow);
    QTest::mouseDClick(Tree().viewport(), Qt::LeftButton, {}, TreeRow);
    QCOMPARE(UnitTest("TBeta")->TestScenario(), nullptr);
    QVERIFY(Tree().IsExpanded(Row(0)));
  }

  void commandsSitInToolBarMenusAndStrip() {
    QCOMPARE(FFrame->GetCaption(), QStringLiteral("Scenario's"));
    QVERIFY(!FFrame->GetIcon().isNull());
    QCOMPARE(Tree().PopupMenu(), FFrame->PopupMenu());
    const TFrameMenu& Menu = FFrame->GetMenu();
    QCOMPARE(Menu.size(), 1);
    QCOMPARE(Menu[0].GroupIndex, 1);
    QCOMPARE(Menu[0].Menu->title(), QStringLiteral("&Scenario's"));
    // Add, Remove and Rename have no hint: no tool-tip, not even the caption.
    CheckCommandWidgets(FFrame->Presenter().Commands(),
                        {FFrame->GetToolBar(), Menu[0].Menu, FFrame->PopupMenu()});

    // The strip, top to bottom, with images of their own for both states.
    QStringList Strip;
    int Top = -1;
    for (const char* Name : {"btnAddSelected", "btnAddAll", "btnRemoveAll", "btnRemoveSelected"}) {
      auto* Button = FFrame->findChild<QToolButton*>(QString::fromLatin1(Name));
      QVERIFY2(Button != nullptr, Name);
      QVERIFY(Button->y() > Top);
      Top = Button->y();
      QCOMPARE(Button->size(), QSize(23, 23));
      QVERIFY(!Button->icon().pixmap(16, QIcon::Disabled).toImage().isNull());
      Strip << Button->toolTip();
      QCOMPARE(Button->accessibleName(), Button->toolTip());
    }
    QCOMPARE(Strip, QStringList({"Add Selected", "Add All", "Remove All", "Remove Selected"}));
    // Enabled as their commands are: nothing on the list is selected.
    RunIdle();
    QVERIFY(!FFrame->findChild<QToolButton*>(QStringLiteral("btnAddSelected"))->isEnabled());
    QVERIFY(FFrame->findChild<QToolButton*>(QStringLiteral("btnAddAll"))->isEnabled());

    // Every control has a name for a screen reader.
    for (QWidget* Child : FFrame->findChildren<QWidget*>())
      if (qobject_cast<QAbstractButton*>(Child) || qobject_cast<QAbstractItemView*>(Child) ||
          qobject_cast<QToolBar*>(Child) || qobject_cast<QSplitter*>(Child))
        QVERIFY2(!Child->accessibleName().isEmpty(), Child->metaObject()->className());
  }

  void shortcutsAndTheMergedMenuRunEnableAndDisable() {
    Tree().ClearSelection();
    Tree().SetSelected(Row(1), true);
    Tree().setFocus();
    RunIdle(); // the rules are evaluated when the program is idle
    QTest::keyClick(FFrame.get(), Qt::Key_D, Qt::ControlModifier);
    QVERIFY(!UnitTest("TAlpha")->Enabled());
    RunIdle();
    QTest::keyClick(FFrame.get(), Qt::Key_E, Qt::ControlModifier);
    QVERIFY(UnitTest("TAlpha")->Enabled());

    // In the main window the view's menu is merged and its entries work.
    TMorvaneApplication::Instance()->SetDialogs(FDialogs.get());
    TMainForm Form(*FDialogs, {});
    Form.show();
    Form.SwitchFrame(Form.ScenariosFrame());
    QMenu* Merged = nullptr;
    for (QAction* Entry : Form.menuBar()->actions())
      if (Entry->text() == QStringLiteral("&Scenario's"))
        Merged = Entry->menu();
    QVERIFY(Merged != nullptr);
    TTreeView& FormTree = *Form.ScenariosFrame()->Tree();
    FormTree.SetSelected(FormTree.NodeAtFlatIndex(0), true);
    RunIdle();
    Merged->actions().value(1)->trigger(); // Disable
    QVERIFY(!Form.Project()->Scenarios()[0]->Enabled());
    Form.SwitchFrame(nullptr);
    TMorvaneApplication::Instance()->SetDialogs(nullptr);
  }
};

KALVORO_GUI_TEST_MAIN(TScenariosViewTest)
#include "ScenariosViewTest.moc"
