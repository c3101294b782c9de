#include "CaptionBar.h"

#include "Contrast.h"

#include <QEvent>
#include <QPainter>

namespace Kalvoro {

namespace {
constexpr int Margin = 8;
constexpr int PictureSize = 32;
} // namespace

TCaptionBar::TCaptionBar(QWidget* aParent) : QWidget(aParent) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  QFont Bold = font();
  Bold.setBold(true);
  Bold.setPointSizeF(Bold.pointSizeF() * 1.35);
  setFont(Bold);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TCaptionBar::SetText(const QString& aText) {
  if (FText == aText)
    return;
  FText = aText;
  setAccessibleName(aText);
  update();
}

QColor TCaptionBar::TextColor() const {
  return Qt::white;
}

QColor TCaptionBar::BackgroundColor() const {
  // The palette's shadow colour, darkened as far as the text needs.
  return WithContrast(palette().color(QPalette::Dark), TextColor());
}

void TCaptionBar::SetPicture(const QPixmap& aPicture) {
  FPicture = aPicture;
  update();
}

QSize TCaptionBar::sizeHint() const {
  return {200, PictureSize + 2 * 5};
}

QSize TCaptionBar::minimumSizeHint() const {
  return {PictureSize + 2 * Margin, PictureSize + 2 * 5};
}

void TCaptionBar::changeEvent(QEvent* aEvent) {
  if (aEvent->type() == QEvent::PaletteChange || aEvent->type() == QEvent::FontChange)
    update();
  QWidget::changeEvent(aEvent);
}

void TCaptionBar::paintEvent(QPaintEvent* /*aEvent*/) {
  QPainter Painter(this);
  Painter.fillRect(rect(), BackgroundColor());
  QRect TextArea = rect().adjusted(Margin, 0, -Margin, 0);
  if (!FPicture.isNull()) {
    const QSize Size = FPicture.deviceIndependentSize().toSize().scaled(
        QSize(PictureSize, PictureSize).boundedTo(size()), Qt::KeepAspectRatio);
    const QRect Target(width() - Margin - Size.width(), (height() - Size.height()) / 2,
                       Size.width(), Size.height());
    Painter.setRenderHint(QPainter::SmoothPixmapTransform);
    Painter.drawPixmap(Target, FPicture);
    TextArea.setRight(Target.left() - Margin);
  }
  Painter.setPen(TextColor());
  Painter.setFont(font());
  Painter.drawText(TextArea, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   fontMetrics().elidedText(FText, Qt::ElideRight, TextArea.width()));
}

} // namespace Kalvoro
