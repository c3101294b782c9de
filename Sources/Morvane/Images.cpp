#include "Images.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace Kalvoro {

namespace {

using TDraw = std::function<void(QPainter&)>;

// Draws an icon in a 24 x 24 design grid at the sizes that the windows use.
QIcon Painted(const TDraw& aDraw) {
  QIcon Result;
  for (int Size : {16, 24, 32, 48}) {
    QPixmap Pixmap(Size, Size);
    Pixmap.fill(Qt::transparent);
    QPainter Painter(&Pixmap);
    Painter.setRenderHint(QPainter::Antialiasing);
    Painter.scale(Size / 24.0, Size / 24.0);
    aDraw(Painter);
    Painter.end();
    Result.addPixmap(Pixmap);
  }
  return Result;
}

const QColor ModuleFill(0x4f, 0x8f, 0xc8);
const QColor ModuleEdge(0x2a, 0x5c, 0x8c);
const QColor Green(0x3a, 0xa8, 0x4a);
const QColor Red(0xd6, 0x3b, 0x3b);
const QColor Orange(0xe8, 0x94, 0x1a);
const QColor Grey(0x9a, 0xa3, 0xad);

// A module: a block with two pins, like a plug-in card.
void DrawModule(QPainter& aPainter, const QRectF& aBox, const QColor& aFill) {
  aPainter.setPen(QPen(aFill.darker(150), 1.2));
  aPainter.setBrush(aFill);
  aPainter.drawRoundedRect(aBox, 2.5, 2.5);
  aPainter.setBrush(aFill.lighter(140));
  aPainter.setPen(Qt::NoPen);
  aPainter.drawRoundedRect(aBox.adjusted(2.5, 2.5, -2.5, -aBox.height() / 2), 1.5, 1.5);
  aPainter.setBrush(aFill.darker(150));
  const qreal PinWidth = aBox.width() / 6;
  aPainter.drawRect(QRectF(aBox.left() + aBox.width() * 0.22, aBox.bottom(), PinWidth, 2.5));
  aPainter.drawRect(
      QRectF(aBox.right() - aBox.width() * 0.22 - PinWidth, aBox.bottom(), PinWidth, 2.5));
}

// A round badge at the lower right with a sign drawn in white.
void DrawBadge(QPainter& aPainter, const QColor& aColor, const TDraw& aSign) {
  aPainter.setPen(QPen(Qt::white, 1.5));
  aPainter.setBrush(aColor);
  aPainter.drawEllipse(QPointF(17, 17), 6.5, 6.5);
  aPainter.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  aPainter.setBrush(Qt::NoBrush);
  aSign(aPainter);
}

void Plus(QPainter& aPainter) {
  aPainter.drawLine(QPointF(17, 13.5), QPointF(17, 20.5));
  aPainter.drawLine(QPointF(13.5, 17), QPointF(20.5, 17));
}
void Minus(QPainter& aPainter) {
  aPainter.drawLine(QPointF(13.5, 17), QPointF(20.5, 17));
}
void Tick(QPainter& aPainter) {
  aPainter.drawPolyline(QPolygonF({QPointF(13.8, 17.2), QPointF(16.2, 19.6), QPointF(20.3, 14.6)}));
}
void Cross(QPainter& aPainter) {
  aPainter.drawLine(QPointF(14.4, 14.4), QPointF(19.6, 19.6));
  aPainter.drawLine(QPointF(19.6, 14.4), QPointF(14.4, 19.6));
}
void ArrowUp(QPainter& aPainter) {
  aPainter.drawLine(QPointF(17, 20.5), QPointF(17, 13.8));
  aPainter.drawPolyline(QPolygonF({QPointF(14.2, 16.4), QPointF(17, 13.6), QPointF(19.8, 16.4)}));
}
void ArrowDown(QPainter& aPainter) {
  aPainter.drawLine(QPointF(17, 13.5), QPointF(17, 20.2));
  aPainter.drawPolyline(QPolygonF({QPointF(14.2, 17.6), QPointF(17, 20.4), QPointF(19.8, 17.6)}));
}
void Dot(QPainter& aPainter) {
  aPainter.setBrush(Qt::white);
  aPainter.setPen(Qt::NoPen);
  aPainter.drawEllipse(QPointF(17, 17), 1.8, 1.8);
}

QIcon ModuleIcon(const QColor& aFill, bool aStacked, const QColor& aBadge,
                 void (*aSign)(QPainter&)) {
  return Painted([=](QPainter& aPainter) {
    if (aStacked)
      DrawModule(aPainter, QRectF(6, 2, 14, 10), aFill.lighter(115));
    DrawModule(aPainter, aStacked ? QRectF(2, 6, 14, 10) : QRectF(2.5, 3.5, 16, 12), aFill);
    if (aSign != nullptr)
      DrawBadge(aPainter, aBadge, aSign);
  });
}

// A unit test: a small flask.
QIcon UnitTestIcon() {
  return Painted([](QPainter& aPainter) {
    QPainterPath Flask;
    Flask.moveTo(9, 3);
    Flask.lineTo(15, 3);
    Flask.lineTo(15, 9);
    Flask.lineTo(20.5, 19);
    Flask.quadTo(21.5, 21.5, 18.5, 21.5);
    Flask.lineTo(5.5, 21.5);
    Flask.quadTo(2.5, 21.5, 3.5, 19);
    Flask.lineTo(9, 9);
    Flask.closeSubpath();
    aPainter.setPen(QPen(QColor(0x6a, 0x4c, 0x9c), 1.4));
    aPainter.setBrush(QColor(0xf1, 0xec, 0xf8));
    aPainter.drawPath(Flask);
    QPainterPath Liquid;
    Liquid.moveTo(6.2, 15);
    Liquid.lineTo(17.8, 15);
    Liquid.lineTo(20, 19.2);
    Liquid.quadTo(20.6, 20.6, 18.5, 20.6);
    Liquid.lineTo(5.5, 20.6);
    Liquid.quadTo(3.4, 20.6, 4, 19.2);
    Liquid.closeSubpath();
    aPainter.setPen(Qt::NoPen);
    aPainter.setBrush(QColor(0x8e, 0x6b, 0xc9));
    aPainter.drawPath(Liquid);
  });
}

// A test method: a small green gear-like dot.
QIcon MethodIcon() {
  return Painted([](QPainter& aPainter) {
    aPainter.setPen(QPen(QColor(0x2d, 0x7d, 0x6e), 1.4));
    aPainter.setBrush(QColor(0x5c, 0xb8, 0xa5));
    aPainter.drawEllipse(QPointF(12, 12), 6.5, 6.5);
    aPainter.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    aPainter.drawLine(QPointF(9.5, 12), QPointF(14.5, 12));
  });
}

QIcon ScenariosIcon() {
  return Painted([](QPainter& aPainter) {
    aPainter.setPen(QPen(QColor(0x5b, 0x6b, 0x7c), 1.2));
    aPainter.setBrush(QColor(0xfb, 0xfc, 0xfd));
    aPainter.drawRoundedRect(QRectF(3.5, 2.5, 17, 19), 2, 2);
    for (int Row = 0; Row < 3; ++Row) {
      const qreal Y = 7.5 + Row * 5;
      aPainter.setPen(QPen(Green, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      aPainter.drawPolyline(
          QPolygonF({QPointF(6, Y), QPointF(7.5, Y + 1.5), QPointF(10, Y - 1.5)}));
      aPainter.setPen(QPen(QColor(0x7a, 0x88, 0x96), 1.6, Qt::SolidLine, Qt::RoundCap));
      aPainter.drawLine(QPointF(12, Y), QPointF(18, Y));
    }
  });
}

QIcon ResultsIcon() {
  return Painted([](QPainter& aPainter) {
    aPainter.setPen(QPen(QColor(0x5b, 0x6b, 0x7c), 1.2));
    aPainter.drawLine(QPointF(3, 21), QPointF(21, 21));
    aPainter.setPen(Qt::NoPen);
    const struct {
      qreal X, Height;
      QColor Color;
    } Bars[] = {{4.5, 13, Green}, {9.5, 17, Green}, {14.5, 6, Red}};
    for (const auto& Bar : Bars) {
      aPainter.setBrush(Bar.Color);
      aPainter.drawRoundedRect(QRectF(Bar.X, 20 - Bar.Height, 4, Bar.Height), 1, 1);
    }
    aPainter.setBrush(Orange);
    aPainter.drawRoundedRect(QRectF(19.2, 16, 2.6, 4), 0.8, 0.8);
  });
}

QIcon GenericDocument(const QColor& aMark) {
  return Painted([=](QPainter& aPainter) {
    aPainter.setPen(QPen(QColor(0x6b, 0x77, 0x84), 1.2));
    aPainter.setBrush(Qt::white);
    aPainter.drawRoundedRect(QRectF(5, 2.5, 14, 19), 1.5, 1.5);
    aPainter.setPen(Qt::NoPen);
    aPainter.setBrush(aMark);
    aPainter.drawEllipse(QPointF(12, 12), 4, 4);
  });
}

} // namespace

void InitializeIconTheme() {
  if (QIcon::fallbackThemeName().isEmpty() ||
      QIcon::fallbackThemeName() == QLatin1String("hicolor"))
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
}

QIcon ThemeIcon(const char* aName, const QIcon& aFallback) {
  QIcon Icon = QIcon::fromTheme(QString::fromLatin1(aName));
  return Icon.isNull() ? aFallback : Icon;
}

QList<QIcon> MainActionImages() {
  return {ThemeIcon("document-new", GenericDocument(Green)),
          ThemeIcon("document-open", GenericDocument(ModuleFill)),
          ThemeIcon("document-save", GenericDocument(ModuleEdge)),
          ThemeIcon("document-save-as", GenericDocument(ModuleEdge)),
          ThemeIcon("document-print", GenericDocument(Grey)),
          ThemeIcon("application-exit", GenericDocument(Red)),
          ModuleIcon(ModuleFill, true, {}, nullptr),
          ScenariosIcon(),
          ResultsIcon()};
}

QList<QIcon> NavigationImages() {
  return {ModuleIcon(ModuleFill, true, {}, nullptr), ScenariosIcon(), ResultsIcon()};
}

QList<QIcon> ModuleActionImages() {
  return {ModuleIcon(ModuleFill, false, Green, Plus),
          ModuleIcon(ModuleFill, false, Red, Minus),
          ModuleIcon(ModuleFill, false, Green, ArrowDown),
          ModuleIcon(ModuleFill, false, Orange, ArrowUp),
          ModuleIcon(ModuleFill, true, Red, Cross),
          ModuleIcon(ModuleFill, true, Green, ArrowDown),
          ModuleIcon(ModuleFill, true, Orange, ArrowUp)};
}

QList<QIcon> ModuleTreeImages() {
  return {ModuleIcon(Grey, false, Grey.darker(115), Dot),
          ModuleIcon(ModuleFill, false, Green, Tick), ModuleIcon(ModuleFill, false, Red, Cross),
          UnitTestIcon(), MethodIcon()};
}

QIcon ApplicationIcon() {
  return Painted([](QPainter& aPainter) {
    aPainter.setPen(Qt::NoPen);
    aPainter.setBrush(ModuleEdge);
    aPainter.drawRoundedRect(QRectF(1, 1, 22, 22), 5, 5);
    aPainter.setPen(QPen(Qt::white, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    aPainter.drawPolyline(QPolygonF({QPointF(6.5, 12.5), QPointF(10.5, 16.5), QPointF(17.5, 7.5)}));
  });
}

} // namespace Kalvoro
