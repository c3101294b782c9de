// The line-list view over a page: following the end, copying the selected
// lines, finding (through the page and through any list model), rows as wide
// as the widest line, and the fixed-pitch font they ask for.
#include "LinesView.h"
#include "LinesPage.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QLineEdit>
#include <QScrollBar>
#include <QStringListModel>
#include <QtTest>

using namespace Kalvoro;

namespace {

void AppendLines(TLinesPage& aPage, int aFrom, int aCount) {
  for (int Line = aFrom; Line < aFrom + aCount; ++Line)
    aPage.Append("line " + std::to_string(Line));
  aPage.Flush();
  QCoreApplication::processEvents();
}

bool RowVisible(TLinesView& aView, int aRow) {
  return aView.viewport()->rect().intersects(aView.visualRect(aView.model()->index(aRow, 0)));
}

} // namespace

class TLinesViewTest : public QObject {
  Q_OBJECT

private slots:
  // At the end the view stays at the end as lines arrive; scrolled up by the
  // user it stays where it is until the user is back at the end.
  void FollowsTheEndWhileTheUserIsThere() {
    TLinesPage Page;
    TLinesView View;
    View.setModel(&Page);
    View.resize(300, 200);
    View.show();
    QVERIFY(QTest::qWaitForWindowExposed(&View));
    QScrollBar* Bar = View.verticalScrollBar();
    AppendLines(Page, 0, 1000);
    QVERIFY(Bar->maximum() > 0);
    QCOMPARE(Bar->value(), Bar->maximum());
    QVERIFY(RowVisible(View, 999));

    Bar->setValue(10);
    AppendLines(Page, 1000, 500);
    QCOMPARE(Bar->value(), 10);
    QVERIFY(!View.FollowsEnd());

    Bar->setValue(Bar->maximum());
    AppendLines(Page, 1500, 500);
    QCOMPARE(Bar->value(), Bar->maximum());
    QVERIFY(RowVisible(View, 1999));
  }

  void CtrlCCopiesTheSelectedLinesInOrder() {
    TLinesPage Page;
    AppendLines(Page, 0, 10);
    TLinesView View;
    View.setModel(&Page);
    QItemSelectionModel* Selection = View.selectionModel();
    Selection->select(Page.index(5), QItemSelectionModel::Select);
    Selection->select(QItemSelection(Page.index(2), Page.index(3)), QItemSelectionModel::Select);
    Selection->select(Page.index(3), QItemSelectionModel::Select); // twice
    QTest::keyClick(&View, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("line 2\nline 3\nline 5"));
  }

  // Find makes the found line current, selected and visible, from the page's
  // own search or, for another model, by reading its rows; Ctrl+F opens the
  // find box, Return finds the next line, Escape closes it.
  void FindSelectsTheNextLineContainingTheText() {
    TLinesPage Page;
    AppendLines(Page, 0, 3000);
    QStringListModel Plain;
    QStringList Lines;
    for (const std::string& Line : Page.Lines())
      Lines << QString::fromStdString(Line);
    Plain.setStringList(Lines);
    for (QAbstractItemModel* Model :
         {static_cast<QAbstractItemModel*>(&Page), static_cast<QAbstractItemModel*>(&Plain)}) {
      TLinesView View;
      View.setModel(Model);
      View.resize(300, 200);
      View.show();
      QVERIFY(QTest::qWaitForWindowExposed(&View));
      QCOMPARE(View.Find(QStringLiteral("LINE 2500"), 0), 2500);
      QCOMPARE(View.currentIndex().row(), 2500);
      QCOMPARE(View.selectionModel()->selectedRows().size(), 1);
      QVERIFY(RowVisible(View, 2500));
      QCOMPARE(View.Find(QStringLiteral("line 1"), 2501), 1);
      QCOMPARE(View.Find(QStringLiteral("absent"), 0), -1);
      QCOMPARE(View.currentIndex().row(), 1);

      QTest::keyClick(&View, Qt::Key_F, Qt::ControlModifier);
      QVERIFY(View.FindBox()->isVisible());
      QVERIFY(View.FindBox()->hasFocus());
      QTest::keyClicks(View.FindBox(), QStringLiteral("ne 12"));
      QTest::keyClick(View.FindBox(), Qt::Key_Return);
      QCOMPARE(View.currentIndex().row(), 12);
      QTest::keyClick(View.FindBox(), Qt::Key_Return);
      QCOMPARE(View.currentIndex().row(), 120);
      QTest::keyClick(View.FindBox(), Qt::Key_Escape);
      QVERIFY(!View.FindBox()->isVisible());
      QTest::keyClick(&View, Qt::Key_F3);
      QCOMPARE(View.currentIndex().row(), 121);
    }
  }

  // With one size for all rows, the rows still take the widest line's width.
  void RowsAreAsWideAsTheWidestLine() {
    TLinesPage Page;
    const std::string Long(300, 'x');
    Page.Append(Long);
    Page.Append("short");
    Page.Flush();
    TLinesView View;
    View.setModel(&Page);
    View.resize(300, 200);
    View.show();
    QVERIFY(QTest::qWaitForWindowExposed(&View));
    const int LongWidth = View.fontMetrics().horizontalAdvance(QString::fromStdString(Long));
    QVERIFY(View.visualRect(Page.index(1)).width() >= LongWidth);
    QVERIFY(View.horizontalScrollBar()->maximum() > 0);
  }

  // The lines ask for the system's fixed-pitch font. Which face answers that
  // request (and whether fontconfig calls it fixed-pitch) depends on the fonts
  // installed, so the request is what is checked.
  void LinesAskForTheSystemsFixedFont() {
    const QFont Fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    QVERIFY(Fixed != QApplication::font()); // else the view's own font would pass too
    TLinesView View;
    QCOMPARE(View.font(), Fixed);
  }
};

QTEST_MAIN(TLinesViewTest)
#include "LinesViewTest.moc"
