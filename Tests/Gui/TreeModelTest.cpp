// The tree and its model: typed rows, the item model through every change,
// flat indexes, suspended updates, single selection and check boxes.
#include "GuiTestSupport.h"

#include "SampleTree.h"
#include "TreeView.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

using namespace Kalvoro;

class TTreeModelTest : public QObject {
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
};

KALVORO_GUI_TEST_MAIN(TTreeModelTest)
#include "TreeModelTest.moc"
