// The widget components: the tree and its model (typed rows, flat indexes,
// suspended updates, check boxes, hit-testing, drag and drop), the tree
// selection helpers, the caption bar, the hyperlink label and the navigation
// bar.
#include "GuiTestSupport.h"

#include "CaptionBar.h"
#include "Contrast.h"
#include "HyperlinkLabel.h"
#include "NavigationBar.h"
#include "TreeHelper.h"
#include "TreeView.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QMimeData>
#include <QSignalSpy>
#include <QToolButton>
#include <QToolTip>

using namespace Kalvoro;

namespace {

// A(a1(x, y), a2), B, C(c1): flat order A a1 x y a2 B C c1.
struct TSampleTree {
  TTreeView Tree;
  TTreeNode *A, *A1, *X, *Y, *A2, *B, *C, *C1;

  TSampleTree() {
    Tree.SetColumns({QStringLiteral("Name"), QStringLiteral("Info")});
    A = Tree.AddChild(nullptr, QStringLiteral("A"));
    A1 = Tree.AddChild(A, QStringLiteral("a1"));
    X = Tree.AddChild(A1, QStringLiteral("x"));
    Y = Tree.AddChild(A1, QStringLiteral("y"));
    A2 = Tree.AddChild(A, QStringLiteral("a2"));
    B = Tree.AddChild(nullptr, QStringLiteral("B"));
    C = Tree.AddChild(nullptr, QStringLiteral("C"));
    C1 = Tree.AddChild(C, QStringLiteral("c1"));
  }
  QStringList SelectedTexts() const {
    QStringList Result;
    for (const TTreeNode* Node : Tree.SelectedNodes())
      Result << Node->Text(0);
    return Result;
  }
};

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

class TWidgetsTest : public QObject {
  Q_OBJECT

private slots:
  void RowsAnswerOnlyForTheTypeTheyWereMadeFrom() {
    struct TBase {
      virtual ~TBase() = default;
    };
    struct TDerived : TBase {};
    struct TOther {};
    TDerived Derived;
    TBase Base;
    const TOther Other{};
    TTreeView Tree;
    TTreeNode* FromDerived = Tree.AddChild(nullptr, QStringLiteral("d"), &Derived);
    TTreeNode* FromBase =
        Tree.AddChild(nullptr, QStringLiteral("b"), static_cast<TBase*>(&Derived));
    TTreeNode* FromConst = Tree.AddChild(FromBase, QStringLiteral("c"), &Other);
    TTreeNode* Plain = Tree.AddChild(nullptr, QStringLiteral("p"));
    TTreeNode* FromNull = Tree.AddChild(nullptr, {}, static_cast<TBase*>(nullptr));

    QCOMPARE(FromDerived->As<TDerived>(), &Derived);
    // The very type only: neither its base nor an unrelated type.
    QCOMPARE(FromDerived->As<TBase>(), nullptr);
    QCOMPARE(FromDerived->As<TOther>(), nullptr);
    QCOMPARE(FromBase->As<TBase>(), static_cast<TBase*>(&Derived));
    QCOMPARE(FromBase->As<TDerived>(), nullptr);
    // A const object is not handed out as a mutable one.
    QCOMPARE(FromConst->As<TOther>(), nullptr);
    QCOMPARE(FromConst->As<const TOther>(), &Other);
    QVERIFY(Plain->Object().IsNull() && Plain->As<TBase>() == nullptr);
    QVERIFY(FromNull->Object().IsNull() && FromNull->As<TBase>() == nullptr);
    QVERIFY(!FromDerived->Object().IsNull());
    QCOMPARE(TRowObject(&Base).As<TBase>(), &Base);
  }

  void ModelPassesTheItemModelTesterThroughEveryChange() {
    TTreeView Tree;
    QAbstractItemModelTester Tester(Tree.model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    QPixmap Red(16, 16);
    Red.fill(Qt::red);
    QPixmap Blue(16, 16);
    Blue.fill(Qt::blue);
    Tree.SetImages({QIcon(Red), QIcon(Blue)});
    Tree.SetColumns({QStringLiteral("Name"), QStringLiteral("Path"), QStringLiteral("State")});
    // Rows one by one, with texts, images, a second image and check boxes.
    const auto Build = [&Tree] {
      for (int Top = 0; Top < 3; ++Top) {
        TTreeNode* Parent = Tree.AddChild(nullptr, QStringLiteral("top %1").arg(Top));
        Tree.SetText(Parent, 2, QStringLiteral("state"));
        Tree.SetImageIndex(Parent, 0);
        for (int Child = 0; Child < 4; ++Child) {
          TTreeNode* Node = Tree.AddChild(Parent, QStringLiteral("child %1").arg(Child));
          Tree.SetCheckBox(Node, true);
          Tree.SetChecked(Node, Child % 2 == 0);
          Tree.SetImageIndex(Node, 1);
          Tree.SetSecondImageIndex(Node, Child % 2);
          Tree.AddChild(Node, QStringLiteral("leaf"));
        }
      }
    };
    Build();
    QCOMPARE(Tree.TotalCount(), 27);
    QVERIFY(Tree.model()->setData(Tree.IndexOf(Tree.NodeAtFlatIndex(1)), Qt::Unchecked,
                                  Qt::CheckStateRole));
    QVERIFY(
        !Tree.model()->data(Tree.IndexOf(Tree.NodeAtFlatIndex(1)), Qt::DecorationRole).isNull());
    QVERIFY(Tree.model()->data(Tree.IndexOf(Tree.NodeAtFlatIndex(2)), Qt::DecorationRole).isNull());
    // Rows deleted in the middle and at the end of their parents.
    Tree.DeleteNode(Tree.TopLevelNode(1)->Child(1));
    Tree.DeleteNode(Tree.TopLevelNode(0)->Child(3));
    Tree.DeleteNode(Tree.TopLevelNode(2));
    QCOMPARE(Tree.TotalCount(), 14);
    QCOMPARE(Tree.TopLevelNode(1)->Child(1)->Text(0), QStringLiteral("child 2"));

    // A rebuild inside a suspended update, nested, with the selection kept.
    Tree.SetSelected(Tree.NodeAtFlatIndex(3), true);
    Tree.BeginUpdate();
    Tree.Clear();
    Tree.BeginUpdate();
    Build();
    Tree.SetColumns({QStringLiteral("Name"), QStringLiteral("Path")});
    Tree.EndUpdate();
    Tree.SetSelected(Tree.NodeAtFlatIndex(5), true);
    Tree.EndUpdate();
    QCOMPARE(Tree.model()->rowCount(), 3);
    QCOMPARE(Tree.model()->columnCount(), 2);
    QCOMPARE(Tree.SelectedNodes(), std::vector<TTreeNode*>{Tree.NodeAtFlatIndex(5)});

    Tree.Clear();
    QCOMPARE(Tree.model()->rowCount(), 0);
    QCOMPARE(Tree.TotalCount(), 0);
    Tree.AddChild(nullptr, QStringLiteral("after clearing"));
    QCOMPARE(Tree.model()->rowCount(), 1);
  }

  void FlatIndexesCoverEveryRowExpandedOrNot() {
    TSampleTree S;
    const QList<TTreeNode*> Order{S.A, S.A1, S.X, S.Y, S.A2, S.B, S.C, S.C1};
    QCOMPARE(S.Tree.TotalCount(), 8);
    for (int I = 0; I < Order.size(); ++I) {
      QCOMPARE(S.Tree.FlatIndexOf(Order[I]), I);
      QCOMPARE(S.Tree.NodeAtFlatIndex(I), Order[I]);
    }
    QCOMPARE(S.Tree.NodeAtFlatIndex(8), nullptr);
    QCOMPARE(S.Tree.NodeAtFlatIndex(-1), nullptr);
    QCOMPARE(S.X->Level(), 2);
    // A tree nobody named is named after its first column; its owner's name stays.
    QCOMPARE(S.Tree.accessibleName(), QStringLiteral("Name"));
    S.Tree.setAccessibleName(QStringLiteral("Sample"));
    S.Tree.SetColumns({QStringLiteral("Other")});
    QCOMPARE(S.Tree.accessibleName(), QStringLiteral("Sample"));
    S.Tree.SetColumns({QStringLiteral("Name"), QStringLiteral("Info")});

    // Deleting a row with children renumbers everything after it.
    S.Tree.DeleteNode(S.A1);
    QCOMPARE(S.Tree.TotalCount(), 5);
    QCOMPARE(S.A2->Index(), 0);
    QCOMPARE(S.Tree.FlatIndexOf(S.B), 2);
    QCOMPARE(S.Tree.NodeAtFlatIndex(4), S.C1);
    QCOMPARE(S.Tree.model()->rowCount(S.Tree.IndexOf(S.A)), 1);
  }

  void SuspendedUpdateKeepsSelectionUntilTheEnd() {
    TSampleTree S;
    S.Tree.SetMultiSelect(true);
    S.Tree.SetSelected(S.B, true);
    S.Tree.SetCurrentNode(S.B);

    S.Tree.BeginUpdate();
    QCOMPARE(S.SelectedTexts(), QStringList{QStringLiteral("B")});
    S.Tree.Clear();
    QCOMPARE(S.Tree.SelectedCount(), 0);
    QCOMPARE(S.Tree.CurrentNode(), nullptr);
    TTreeNode* P = S.Tree.AddChild(nullptr, QStringLiteral("P"));
    TTreeNode* Q = S.Tree.AddChild(P, QStringLiteral("q"));
    S.Tree.BeginUpdate();
    S.Tree.SetSelected(Q, true);
    S.Tree.SetSelected(P, true);
    S.Tree.SetCurrentNode(Q);
    S.Tree.EndUpdate();
    // Still suspended: the item view has not heard of the new rows.
    QVERIFY(S.Tree.Updating());
    S.Tree.EndUpdate();

    QVERIFY(!S.Tree.Updating());
    QCOMPARE(S.Tree.model()->rowCount(), 1);
    QCOMPARE(S.Tree.CurrentNode(), Q);
    QCOMPARE(S.SelectedTexts(), (QStringList{QStringLiteral("P"), QStringLiteral("q")}));
    QVERIFY(S.Tree.selectionModel()->isSelected(S.Tree.IndexOf(Q)));
  }

  void SingleSelectionHoldsOneRow() {
    TSampleTree S;
    S.Tree.SetSelected(S.A, true);
    S.Tree.SetSelected(S.C, true);
    QCOMPARE(S.SelectedTexts(), QStringList{QStringLiteral("C")});
    S.Tree.BeginUpdate();
    S.Tree.SetSelected(S.B, true);
    S.Tree.EndUpdate();
    QCOMPARE(S.SelectedTexts(), QStringList{QStringLiteral("B")});
  }

  void OnlyUserTogglesOfCheckBoxesAreReported() {
    TSampleTree S;
    QSignalSpy Toggled(&S.Tree, &TTreeView::CheckToggled);
    S.Tree.SetCheckBox(S.B, true);
    S.Tree.SetChecked(S.B, true);
    QCOMPARE(Toggled.count(), 0);
    QCOMPARE(S.Tree.model()->data(S.Tree.IndexOf(S.B), Qt::CheckStateRole).toInt(),
             int(Qt::Checked));
    QVERIFY(S.Tree.model()->flags(S.Tree.IndexOf(S.B)) & Qt::ItemIsUserCheckable);
    QVERIFY(!(S.Tree.model()->flags(S.Tree.IndexOf(S.A)) & Qt::ItemIsUserCheckable));

    // What the view does when the user clicks the box.
    QVERIFY(S.Tree.model()->setData(S.Tree.IndexOf(S.B), Qt::Unchecked, Qt::CheckStateRole));
    QCOMPARE(Toggled.count(), 1);
    QCOMPARE(Toggled.at(0).at(0).value<TTreeNode*>(), S.B);
    QVERIFY(!S.B->Checked());
    // A row without a box cannot be toggled.
    QVERIFY(!S.Tree.model()->setData(S.Tree.IndexOf(S.A), Qt::Checked, Qt::CheckStateRole));
    QCOMPARE(Toggled.count(), 1);
  }

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

  void CaptionBarPaintsWhiteOnTheShadowColour() {
    TCaptionBar Bar;
    Bar.resize(300, 42);
    Bar.SetText(QStringLiteral("Modules"));
    QPixmap Picture(32, 32);
    Picture.fill(Qt::green);
    Bar.SetPicture(Picture);
    QCOMPARE(Bar.Text(), QStringLiteral("Modules"));
    QCOMPARE(Bar.accessibleName(), QStringLiteral("Modules"));
    QVERIFY(Bar.font().bold());
    QCOMPARE(Bar.TextColor(), QColor(Qt::white));
    // The shadow colour's hue, darkened only.
    const QColor Shadow = Bar.palette().color(QPalette::Dark);
    QCOMPARE(Bar.BackgroundColor().hslHue(), Shadow.hslHue());
    QVERIFY(Bar.BackgroundColor().lightness() <= Shadow.lightness());
    const QImage Image = Bar.grab().toImage();
    QCOMPARE(Image.pixel(2, 2), Bar.BackgroundColor().rgb());
    // The picture sits at the right end.
    QCOMPARE(Image.pixel(Image.width() - 8 - 16, 21), QColor(Qt::green).rgb());
    bool HasWhite = false;
    for (int X = 0; X < 120 && !HasWhite; ++X)
      for (int Y = 0; Y < Image.height() && !HasWhite; ++Y)
        HasWhite = Image.pixel(X, Y) == QColor(Qt::white).rgb();
    QVERIFY2(HasWhite, "the caption is drawn in white");

    Bar.SetText(QString());
    Bar.SetPicture(QPixmap());
    QVERIFY(Bar.Picture().isNull());
    const QImage Empty = Bar.grab().toImage();
    QCOMPARE(Empty.pixel(Empty.width() - 8 - 16, 21), Bar.BackgroundColor().rgb());
  }

  void TextOfTheBarsReadsInLightAndDarkPalettes() {
    QCOMPARE(ContrastRatio(Qt::white, Qt::black), 21.0);
    QCOMPARE(ContrastRatio(QColor(0x77, 0x77, 0x77), Qt::white),
             ContrastRatio(Qt::white, QColor(0x77, 0x77, 0x77)));
    QVERIFY(qAbs(ContrastRatio(QColor(0xa0, 0xa0, 0xa0), Qt::white) - 2.6) < 0.05);

    QPalette Dark;
    Dark.setColor(QPalette::Window, QColor(0x35, 0x35, 0x35));
    Dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    Dark.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3a));
    Dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    Dark.setColor(QPalette::Dark, QColor(0x23, 0x23, 0x23));
    Dark.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    // A dark theme whose shadow colour is too light for white text.
    QPalette DarkLightShadow = Dark;
    DarkLightShadow.setColor(QPalette::Dark, QColor(0x90, 0x90, 0x90));
    const QPalette Light = QApplication::palette();
    const auto Restore = qScopeGuard([Light] { QApplication::setPalette(Light); });

    // The strongest contrast of any pixel in aArea of aImage against aBackground:
    // the text's own colour where a glyph is solid.
    const auto TextContrast = [](const QImage& aImage, const QRect& aArea,
                                 const QColor& aBackground) {
      double Result = 1;
      for (int Y = aArea.top(); Y <= aArea.bottom(); ++Y)
        for (int X = aArea.left(); X <= aArea.right(); ++X)
          Result = std::max(Result, ContrastRatio(aImage.pixelColor(X, Y), aBackground));
      return Result;
    };
    const QList<QPalette> Palettes{Light, Dark, DarkLightShadow};
    for (int Index = 0; Index < Palettes.size(); ++Index) {
      const QPalette& Palette = Palettes[Index];
      QApplication::setPalette(Palette);
      const bool IsDark = Index > 0;
      TCaptionBar Caption;
      Caption.resize(300, 42);
      Caption.SetText(QStringLiteral("Modules"));
      const QImage CaptionImage = Caption.grab().toImage();
      const QColor CaptionBack = CaptionImage.pixelColor(2, 2);
      QCOMPARE(CaptionBack.rgb(), Caption.BackgroundColor().rgb());
      QVERIFY(TextContrast(CaptionImage, QRect(8, 0, 120, 42), CaptionBack) >= 4.5);
      // The palette's shadow colour, only darkened, and kept where it reads.
      QVERIFY(RelativeLuminance(CaptionBack) <= RelativeLuminance(Palette.color(QPalette::Dark)));
      if (Index == 1)
        QCOMPARE(CaptionBack.rgb(), Palette.color(QPalette::Dark).rgb());

      TNavigationBar Navigation;
      const int View = Navigation.AddGroup(QStringLiteral("View"));
      QAction First(QStringLiteral("Modules"));
      QAction Second(QStringLiteral("Scenario's"));
      Navigation.AddButton(View, &First);
      Navigation.AddButton(View, &Second);
      Navigation.SetHighlighted(&Second);
      Navigation.resize(120, 300);
      Navigation.show();
      QVERIFY(QTest::qWaitForWindowExposed(&Navigation));
      const TNavigationColors& Colors = Navigation.Colors();
      const QImage Image = Navigation.grab().toImage();
      const QColor Bar = Image.pixelColor(2, Image.height() - 3);
      QCOMPARE(Bar.rgb(), Colors.Bar.rgb());
      const QRect Plain = Navigation.Buttons(View).at(0)->geometry().translated(
          Navigation.Buttons(View).at(0)->parentWidget()->pos());
      const QRect Current = Navigation.Buttons(View).at(1)->geometry().translated(
          Navigation.Buttons(View).at(1)->parentWidget()->pos());
      QVERIFY2(TextContrast(Image, Plain.adjusted(2, 2, -2, -2), Bar) >= 4.5, "plain button");
      const QColor CurrentBack = Image.pixelColor(Current.left() + 4, Current.center().y());
      QCOMPARE(CurrentBack.rgb(), Colors.Current.rgb());
      QVERIFY2(TextContrast(Image, Current.adjusted(2, 2, -2, -2), CurrentBack) >= 4.5,
               "current button");
      // Under the pointer and pressed: the colours of the style sheet.
      for (const QColor& Back : {Colors.Hover, Colors.Pressed})
        QVERIFY(ContrastRatio(Colors.Text, Back) >= 4.5);
      const QRect Heading = Navigation.findChildren<QToolButton*>().at(0)->geometry();
      for (const QColor& Back : {Colors.HeadingTop, Colors.HeadingBottom, Colors.HeadingHover})
        QVERIFY(ContrastRatio(Colors.HeadingText, Back) >= 4.5);
      const QColor HeadingBack = Image.pixelColor(Heading.right() - 3, Heading.center().y());
      QVERIFY2(TextContrast(Image, Heading, HeadingBack) >= 4.5, "heading");
      // A dark theme gets dark headings, not the light ones.
      QCOMPARE(RelativeLuminance(HeadingBack) < 0.2, IsDark);
    }
  }

  void HyperlinkLabelOpensItsAddress() {
    QList<QUrl> Opened;
    const auto Previous = THyperlinkLabel::SetUrlOpener([&](const QUrl& aUrl) {
      Opened << aUrl;
      return true;
    });
    THyperlinkLabel Mail(QString(), QUrl(QStringLiteral("mailto:team@kalvoro.invalid")));
    QCOMPARE(Mail.text(), QStringLiteral("team@kalvoro.invalid"));
    Mail.resize(200, 20);
    QTest::mouseClick(&Mail, Qt::LeftButton, {}, QPoint(5, 5));
    // A right click opens nothing.
    QTest::mouseClick(&Mail, Qt::RightButton, {}, QPoint(5, 5));
    THyperlinkLabel Site(QStringLiteral("Site"), QUrl(QStringLiteral("https://kalvoro.invalid/")));
    QTest::keyClick(&Site, Qt::Key_Return);
    THyperlinkLabel::SetUrlOpener(Previous);
    QCOMPARE(Opened, (QList<QUrl>{QUrl(QStringLiteral("mailto:team@kalvoro.invalid")),
                                  QUrl(QStringLiteral("https://kalvoro.invalid/"))}));
    QVERIFY(Mail.font().underline());
  }

  void NavigationButtonsFollowTheirActions() {
    TNavigationBar Bar;
    const int View = Bar.AddGroup(QStringLiteral("View"));
    const int Other = Bar.AddGroup(QStringLiteral("Other"));
    QAction First(QStringLiteral("Modules"));
    QAction Second(QStringLiteral("Results"));
    int Triggered = 0;
    connect(&First, &QAction::triggered, [&] { ++Triggered; });
    QToolButton* Button = Bar.AddButton(View, &First);
    Bar.AddButton(View, &Second);
    QCOMPARE(Bar.GroupCaption(View), QStringLiteral("View"));
    QCOMPARE(Bar.Buttons(View).size(), 2);
    QCOMPARE(Button->text(), QStringLiteral("Modules"));
    QCOMPARE(Button->accessibleName(), QStringLiteral("Modules"));
    QCOMPARE(Bar.findChild<QToolButton*>()->accessibleName(), QStringLiteral("View"));
    QCOMPARE(Button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    QCOMPARE(Button->iconSize(), QSize(32, 32));
    QCOMPARE(Bar.OpenGroup(), View);
    QVERIFY(Bar.AddButton(7, &First) == nullptr);

    Bar.resize(120, 400);
    Bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Bar));
    QTest::mouseClick(Button, Qt::LeftButton);
    QCOMPARE(Triggered, 1);

    // The caption under the icon is not repeated as a tool-tip; a tool-tip of
    // the action's own is shown.
    const auto ToolTipOf = [](QToolButton* aButton) {
      QToolTip::hideText();
      QHelpEvent Help(QEvent::ToolTip, QPoint(5, 5), aButton->mapToGlobal(QPoint(5, 5)));
      QCoreApplication::sendEvent(aButton, &Help);
      const QString Shown = QToolTip::isVisible() ? QToolTip::text() : QString();
      QToolTip::hideText();
      return Shown;
    };
    QCOMPARE(ToolTipOf(Button), QString());
    // The name follows the caption, without its mnemonic.
    Second.setText(QStringLiteral("&Results"));
    QCOMPARE(Bar.Buttons(View).at(1)->accessibleName(), QStringLiteral("Results"));
    Second.setToolTip(QStringLiteral("Show the results"));
    QCOMPARE(ToolTipOf(Bar.Buttons(View).at(1)), QStringLiteral("Show the results"));

    First.setEnabled(false);
    QVERIFY(!Button->isEnabled());
    QTest::mouseClick(Button, Qt::LeftButton);
    QCOMPARE(Triggered, 1);

    Bar.SetHighlighted(&Second);
    QVERIFY(Bar.Buttons(View).at(1)->property("navCurrent").toBool());
    QVERIFY(!Button->property("navCurrent").toBool());
    Bar.SetOpenGroup(Other);
    QVERIFY(!Button->isVisible());
  }
};

KALVORO_GUI_TEST_MAIN(TWidgetsTest)
#include "WidgetsTest.moc"
