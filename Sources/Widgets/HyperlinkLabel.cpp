#include "HyperlinkLabel.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>

namespace Kalvoro {

namespace {
THyperlinkLabel::TUrlOpener& UrlOpener() {
  static THyperlinkLabel::TUrlOpener Opener = [](const QUrl& aUrl) {
    return QDesktopServices::openUrl(aUrl);
  };
  return Opener;
}
} // namespace

THyperlinkLabel::THyperlinkLabel(QWidget* aParent) : QLabel(aParent) {
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::TabFocus);
  setTextFormat(Qt::PlainText);
  QFont Underlined = font();
  Underlined.setUnderline(true);
  setFont(Underlined);
  QPalette Palette = palette();
  Palette.setColor(QPalette::WindowText, Palette.color(QPalette::Link));
  setPalette(Palette);
}

THyperlinkLabel::THyperlinkLabel(const QString& aText, const QUrl& aUrl, QWidget* aParent)
    : THyperlinkLabel(aParent) {
  FUrl = aUrl;
  FCaption = aText;
  Render();
}

void THyperlinkLabel::SetUrl(const QUrl& aUrl) {
  FUrl = aUrl;
  Render();
}

void THyperlinkLabel::SetCaption(const QString& aCaption) {
  FCaption = aCaption;
  Render();
}

void THyperlinkLabel::Render() {
  // Without a caption the address itself is shown (a mail address without its
  // scheme).
  QString Shown = FCaption;
  if (Shown.isEmpty())
    Shown = FUrl.scheme() == QLatin1String("mailto") ? FUrl.path() : FUrl.toString();
  setText(Shown);
  setToolTip(FUrl.toString());
}

bool THyperlinkLabel::Open() {
  emit Clicked(FUrl);
  if (!FUrl.isValid() || FUrl.isEmpty())
    return false;
  return UrlOpener() ? UrlOpener()(FUrl) : false;
}

THyperlinkLabel::TUrlOpener THyperlinkLabel::SetUrlOpener(TUrlOpener aOpener) {
  TUrlOpener Previous = std::move(UrlOpener());
  UrlOpener() = std::move(aOpener);
  return Previous;
}

void THyperlinkLabel::mouseReleaseEvent(QMouseEvent* aEvent) {
  if (aEvent->button() == Qt::LeftButton && rect().contains(aEvent->position().toPoint())) {
    Open();
    aEvent->accept();
    return;
  }
  QLabel::mouseReleaseEvent(aEvent);
}

void THyperlinkLabel::keyPressEvent(QKeyEvent* aEvent) {
  if (aEvent->key() == Qt::Key_Return || aEvent->key() == Qt::Key_Enter ||
      aEvent->key() == Qt::Key_Space) {
    Open();
    aEvent->accept();
    return;
  }
  QLabel::keyPressEvent(aEvent);
}

} // namespace Kalvoro
