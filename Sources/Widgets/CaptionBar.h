// A bar that shows a caption in bold white on the palette's shadow colour
// (darkened where white would not read on it), with a picture at its right
// end; it heads the working area of a window.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QWidget>

namespace Kalvoro {

class TCaptionBar : public QWidget {
  Q_OBJECT

public:
  explicit TCaptionBar(QWidget* aParent = nullptr);

  QString Text() const { return FText; }
  void SetText(const QString& aText);
  QPixmap Picture() const { return FPicture; }
  // A null pixmap clears the picture.
  void SetPicture(const QPixmap& aPicture);
  // The colours it paints with, for the palette it has now.
  QColor TextColor() const;
  QColor BackgroundColor() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

protected:
  void paintEvent(QPaintEvent* aEvent) override;
  void changeEvent(QEvent* aEvent) override;

private:
  QString FText;
  QPixmap FPicture;
};

} // namespace Kalvoro
