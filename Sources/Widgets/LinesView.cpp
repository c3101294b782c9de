#include "LinesView.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <algorithm>
#include <cmath>

namespace Kalvoro {

namespace {

// Rows as wide as the model's widest line, so that no line is cut off: with
// uniform item sizes the list measures one line (its last) for all of them.
class TLineDelegate : public QStyledItemDelegate {
public:
  using QStyledItemDelegate::QStyledItemDelegate;

  QSize sizeHint(const QStyleOptionViewItem& aOption, const QModelIndex& aIndex) const override {
    QSize Size = QStyledItemDelegate::sizeHint(aOption, aIndex);
    const QVariant Widest = aIndex.isValid() ? aIndex.model()->property("widestLine") : QVariant();
    if (!Widest.isValid())
      return Size;
    const int Own = static_cast<int>(aIndex.data().toString().size());
    const int Extra = Widest.toInt() - Own;
    if (Extra > 0)
      Size.rwidth() += static_cast<int>(
          std::ceil(Extra * QFontMetricsF(aOption.font).horizontalAdvance(QLatin1Char('M'))));
    return Size;
  }
};

bool Contains(const QString& aLine, const QString& aText) {
  return aLine.contains(aText, Qt::CaseInsensitive);
}

} // namespace

TLinesView::TLinesView(QWidget* aParent) : QListView(aParent), FFindBox(new QLineEdit(this)) {
  setItemDelegate(new TLineDelegate(this));
  setUniformItemSizes(true);
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  setTextElideMode(Qt::ElideNone);

  // Following the end: when the range grows while the view is at its end,
  // the view moves to the new end. The range changes before the value.
  QScrollBar* Bar = verticalScrollBar();
  connect(Bar, &QScrollBar::valueChanged, this,
          [this, Bar](int aValue) { FFollowsEnd = aValue >= Bar->maximum(); });
  connect(Bar, &QScrollBar::rangeChanged, this, [this, Bar](int, int aMaximum) {
    if (FFollowsEnd)
      Bar->setValue(aMaximum);
  });

  FFindBox->setAccessibleName(QStringLiteral("Find"));
  FFindBox->setPlaceholderText(QStringLiteral("Find"));
  FFindBox->setClearButtonEnabled(true);
  FFindBox->hide();
  connect(FFindBox, &QLineEdit::returnPressed, this, &TLinesView::FindNext);
  auto* Hide = new QAction(FFindBox);
  Hide->setShortcut(Qt::Key_Escape);
  Hide->setShortcutContext(Qt::WidgetShortcut);
  connect(Hide, &QAction::triggered, this, &TLinesView::HideFindBox);
  FFindBox->addAction(Hide);
}

int TLinesView::Find(const QString& aText, int aFrom) {
  if (model() == nullptr)
    return -1;
  int Row = -1;
  const bool Offered = model()->metaObject()->indexOfMethod("FindLine(QString,int)") >= 0;
  if (!Offered ||
      !QMetaObject::invokeMethod(model(), "FindLine", Qt::DirectConnection, Q_RETURN_ARG(int, Row),
                                 Q_ARG(QString, aText), Q_ARG(int, aFrom)))
    Row = ScanRows(aText, aFrom);
  if (Row < 0 || Row >= model()->rowCount(rootIndex()))
    return -1;
  const QModelIndex Index = model()->index(Row, modelColumn(), rootIndex());
  selectionModel()->setCurrentIndex(Index, QItemSelectionModel::ClearAndSelect);
  scrollTo(Index, QAbstractItemView::PositionAtCenter);
  return Row;
}

int TLinesView::ScanRows(const QString& aText, int aFrom) const {
  const int Total = model()->rowCount(rootIndex());
  if (aText.isEmpty() || Total == 0)
    return -1;
  const int Start = aFrom < 0 || aFrom >= Total ? 0 : aFrom;
  for (int Step = 0; Step < Total; ++Step) {
    const int Row = (Start + Step) % Total;
    if (Contains(model()->index(Row, modelColumn(), rootIndex()).data().toString(), aText))
      return Row;
  }
  return -1;
}

QString TLinesView::SelectedText() const {
  if (model() == nullptr)
    return {};
  QItemSelection Selection = selectionModel()->selection();
  std::sort(Selection.begin(), Selection.end(),
            [](const QItemSelectionRange& aLeft, const QItemSelectionRange& aRight) {
              return aLeft.top() < aRight.top();
            });
  QStringList Lines;
  int Next = 0; // rows before this one are taken already (ranges may overlap)
  for (const QItemSelectionRange& Range : Selection)
    for (int Row = std::max(Range.top(), Next); Row <= Range.bottom(); ++Row) {
      Lines << model()->index(Row, modelColumn(), rootIndex()).data().toString();
      Next = Row + 1;
    }
  return Lines.join(QLatin1Char('\n'));
}

void TLinesView::CopySelection() const {
  QApplication::clipboard()->setText(SelectedText());
}

bool TLinesView::event(QEvent* aEvent) {
  // These keys belong to the list while it has the focus, even where a
  // window-wide shortcut uses them too.
  if (aEvent->type() == QEvent::ShortcutOverride) {
    auto* Key = static_cast<QKeyEvent*>(aEvent);
    if (Key->matches(QKeySequence::Copy) || Key->matches(QKeySequence::Find) ||
        Key->matches(QKeySequence::FindNext)) {
      aEvent->accept();
      return true;
    }
  }
  return QListView::event(aEvent);
}

void TLinesView::keyPressEvent(QKeyEvent* aEvent) {
  if (aEvent->matches(QKeySequence::Copy))
    CopySelection();
  else if (aEvent->matches(QKeySequence::Find))
    ShowFindBox();
  else if (aEvent->matches(QKeySequence::FindNext))
    FindNext();
  else {
    QListView::keyPressEvent(aEvent);
    return;
  }
  aEvent->accept();
}

void TLinesView::resizeEvent(QResizeEvent* aEvent) {
  QListView::resizeEvent(aEvent);
  PlaceFindBox();
}

void TLinesView::ShowFindBox() {
  PlaceFindBox();
  FFindBox->show();
  FFindBox->raise();
  FFindBox->setFocus(Qt::ShortcutFocusReason);
  FFindBox->selectAll();
}

void TLinesView::HideFindBox() {
  FFindBox->hide();
  setFocus(Qt::OtherFocusReason);
}

void TLinesView::FindNext() {
  if (FFindBox->text().isEmpty()) {
    ShowFindBox();
    return;
  }
  const int From = currentIndex().isValid() ? currentIndex().row() + 1 : 0;
  if (Find(FFindBox->text(), From) < 0)
    QApplication::beep();
}

// The box sits at the top right of the lines.
void TLinesView::PlaceFindBox() {
  const QRect Area = viewport()->geometry();
  const int Width = std::min(Area.width(), 240);
  FFindBox->setGeometry(Area.right() - Width + 1, Area.top(), Width, FFindBox->sizeHint().height());
}

} // namespace Kalvoro
