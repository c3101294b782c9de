// The tree on screen: hit-testing, drag and drop between trees, its image
// column, the selection helpers and the lines between rows.
#include "GuiTestSupport.h"

#include "SampleTree.h"
#include "TreeHelper.h"
#include "TreeView.h"

#include <QMimeData>
#include <QSignalSpy>

using namespace Kalvoro;

namespace {

QMimeData* DragDataOf(TTreeView& aSource) {
  auto* Data = new QMimeData;
  Data->setData(TTreeView::DragMimeType(),
                QByteArray::number(reinterpret_cast<quintptr>(&aSource)));
  return Data;
}

// Sends enter, move and drop to the target's viewport; returns whether the drop
// was accepted.
bool DropOnto(TTreeView& aTarget, QMimeData* aData, const QPoint& aPos) {
  QDragEnterEvent Enter(aPos, Qt::MoveAction, aData, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(aTarget.viewport(), &Enter);
  if (!Enter.isAccepted())
    return false;
  QDragMoveEvent Move(aPos, Qt::MoveAction, aData, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(aTarget.viewport(), &Move);
  QDropEvent Drop(QPointF(aPos), Qt::MoveAction, aData, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(aTarget.viewport(), &Drop);
  return Drop.isAccepted();
}

} // namespace

class TTreeViewTest : public QObject {
  Q_OBJECT

private slots:
  void HitTestingAndDoubleClickFindTheRow() {
    TSampleTree S;
    S.Tree.resize(300, 200);
    S.Tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&S.Tree));
    QSignalSpy DoubleClicked(&S.Tree, &TTreeView::NodeDoubleClicked);
    const QPoint Centre = S.Tree.NodeRect(S.B).center();
    QCOMPARE(S.Tree.NodeAt(Centre), S.B);
    QCOMPARE(S.Tree.NodeAt(QPoint(5, S.Tree.viewport()->height() - 2)), nullptr);
    // A collapsed child is not on show.
    QVERIFY(S.Tree.NodeRect(S.C1).isEmpty());
    S.Tree.FullExpand();
    QVERIFY(S.Tree.IsExpanded(S.A1));
    QVERIFY(!S.Tree.NodeRect(S.C1).isEmpty());

    QTest::mouseDClick(S.Tree.viewport(), Qt::LeftButton, {}, S.Tree.NodeRect(S.B).center());
    QCOMPARE(DoubleClicked.count(), 1);
    QCOMPARE(DoubleClicked.at(0).at(0).value<TTreeNode*>(), S.B);

    QSignalSpy Resized(&S.Tree, &TTreeView::Resized);
    S.Tree.resize(320, 220);
    QCoreApplication::processEvents();
    QVERIFY(Resized.count() >= 1);
  }

  void DropsComeOnlyFromAcceptedTrees() {
    TSampleTree Target;
    TTreeView Source;
    Source.setObjectName(QStringLiteral("UnitTestsTree"));
    TTreeView Stranger;
    Source.SetRowDragEnabled(true);
    Source.SetSelected(Source.AddChild(nullptr, QStringLiteral("dragged")), true);
    Target.Tree.SetDropAcceptor(
        [](TTreeView* aSource) { return aSource->objectName() == QLatin1String("UnitTestsTree"); });
    Target.Tree.resize(300, 200);
    Target.Tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Target.Tree));
    QSignalSpy Dropped(&Target.Tree, &TTreeView::DragDropped);

    const QPoint OnB = Target.Tree.NodeRect(Target.B).center();
    std::unique_ptr<QMimeData> FromSource(DragDataOf(Source));
    QVERIFY(DropOnto(Target.Tree, FromSource.get(), OnB));
    QCOMPARE(Dropped.count(), 1);
    QCOMPARE(Dropped.at(0).at(0).value<TTreeView*>(), &Source);
    QCOMPARE(Dropped.at(0).at(1).value<TTreeNode*>(), Target.B);

    // Below every row: dropped, but on no row.
    QVERIFY(
        DropOnto(Target.Tree, FromSource.get(), QPoint(5, Target.Tree.viewport()->height() - 2)));
    QCOMPARE(Dropped.count(), 2);
    QCOMPARE(Dropped.at(1).at(1).value<TTreeNode*>(), nullptr);

    std::unique_ptr<QMimeData> FromStranger(DragDataOf(Stranger));
    QVERIFY(!DropOnto(Target.Tree, FromStranger.get(), OnB));
    // Foreign data (a dead or made-up tree) is refused as well.
    std::unique_ptr<QMimeData> Forged(new QMimeData);
    Forged->setData(TTreeView::DragMimeType(), "12345");
    QVERIFY(!DropOnto(Target.Tree, Forged.get(), OnB));
    QCOMPARE(Dropped.count(), 2);
    QVERIFY(Source.model()->flags(Source.IndexOf(Source.TopLevelNode(0))) & Qt::ItemIsDragEnabled);
  }

  void SecondImageWidensTheImageColumn() {
    TSampleTree S;
    QPixmap Red(16, 16);
    Red.fill(Qt::red);
    QPixmap Blue(16, 16);
    Blue.fill(Qt::blue);
    S.Tree.SetImages({QIcon(Red), QIcon(Blue)});
    S.Tree.SetImageIndex(S.A, 0);
    QCOMPARE(S.Tree.iconSize(), QSize(16, 16));
    S.Tree.SetSecondImageIndex(S.A, 1);
    QCOMPARE(S.Tree.iconSize().width(), 34);
    const QIcon Pair = S.Tree.model()->data(S.Tree.IndexOf(S.A), Qt::DecorationRole).value<QIcon>();
    const QImage Image = Pair.pixmap(QSize(34, 16)).toImage();
    QCOMPARE(Image.pixelColor(2, 8), QColor(Qt::red));
    QCOMPARE(Image.pixelColor(30, 8), QColor(Qt::blue));
  }

  void SaveSelectionRecordsFlatIndexesInTreeOrder() {
    TSampleTree S;
    S.Tree.SetMultiSelect(true);
    S.Tree.SetSelected(S.C1, true);
    S.Tree.SetSelected(S.X, true);
    std::vector<int> Selection{42};
    SaveSelection(S.Tree, Selection);
    QCOMPARE(Selection, (std::vector<int>{2, 7}));
    S.Tree.ClearSelection();
    SaveSelection(S.Tree, Selection);
    QVERIFY(Selection.empty());
  }

  void RestoreSelectionWorksByPosition() {
    TSampleTree S;
    S.Tree.SetMultiSelect(true);
    // Recorded positions 3 and 20 on a tree of 8 rows: y and the last row.
    RestoreSelection(S.Tree, {3, 20});
    QCOMPARE(S.SelectedTexts(), (QStringList{QStringLiteral("y"), QStringLiteral("c1")}));
    QCOMPARE(S.Tree.CurrentNode(), S.Y);

    // No record: the first row becomes current and selected.
    S.Tree.ClearSelection();
    RestoreSelection(S.Tree, {});
    QCOMPARE(S.SelectedTexts(), QStringList{QStringLiteral("A")});
    QCOMPARE(S.Tree.CurrentNode(), S.A);

    // An empty tree selects nothing, whatever was recorded.
    S.Tree.Clear();
    RestoreSelection(S.Tree, {0, 1});
    QCOMPARE(S.Tree.SelectedCount(), 0);
    RestoreSelection(S.Tree, {});
    QCOMPARE(S.Tree.CurrentNode(), nullptr);
  }

  void LinesConnectRowsWithTheirParentsAndSiblings() {
    TSampleTree S;
    S.Tree.resize(300, 300);
    S.Tree.FullExpand();
    S.Tree.show();
    QVERIFY(QTest::qWaitForWindowExposed(&S.Tree));
    const int Indent = S.Tree.indentation();
    const QRgb Base = S.Tree.palette().color(QPalette::Base).rgb();
    // Whether anything but the background lies on the vertical through the
    // middle of the branch cell aSteps cells left of the row's text, between
    // the fractions aFrom and aTo of the row's height.
    const auto Drawn = [&](const QImage& aImage, TTreeNode* aNode, int aSteps, double aFrom = 0,
                           double aTo = 1) {
      const QRect Row = S.Tree.NodeRect(aNode);
      const int X = Row.left() - (aSteps + 1) * Indent + Indent / 2;
      for (int Y = Row.top() + int(aFrom * Row.height()); Y < Row.top() + int(aTo * Row.height());
           ++Y)
        if (aImage.pixel(X, Y) != Base)
          return true;
      return false;
    };
    QVERIFY(!S.Tree.ShowLines());
    QVERIFY(!Drawn(S.Tree.viewport()->grab().toImage(), S.X, 2));

    S.Tree.SetShowLines(true);
    const QImage Image = S.Tree.viewport()->grab().toImage();
    // x: its own branch, a1's line on to a2, A's line on to B.
    QVERIFY(Drawn(Image, S.X, 0));
    QVERIFY(Drawn(Image, S.X, 1));
    QVERIFY(Drawn(Image, S.X, 2));
    // a2, A's last child: a line from above and none below.
    QVERIFY(Drawn(Image, S.A2, 0, 0, 0.4));
    QVERIFY(!Drawn(Image, S.A2, 0, 0.6, 1));
    // c1: C is the last top-level row, so nothing goes on below it.
    QVERIFY(Drawn(Image, S.C1, 0, 0, 0.4));
    QVERIFY(!Drawn(Image, S.C1, 1));
  }
};

KALVORO_GUI_TEST_MAIN(TTreeViewTest)
#include "TreeViewTest.moc"
