#include "NavigationColors.h"

#include "Contrast.h"

#include <QPalette>
#include <QString>

namespace Kalvoro {

namespace {

// The hue of the light look's band (a blue slate) when the highlight has none.
constexpr int SlateHue = 211;

QString Css(const QColor& aColor) {
  return aColor.name(QColor::HexRgb);
}

} // namespace

TNavigationColors TNavigationColors::FromPalette(const QPalette& aPalette) {
  const bool Dark = IsDarkPalette(aPalette);
  const QColor Highlight = aPalette.color(QPalette::Highlight).toHsv();
  const int Hue =
      Highlight.hsvHue() >= 0 && Highlight.hsvSaturation() > 20 ? Highlight.hsvHue() : SlateHue;
  const QColor Window = aPalette.color(QPalette::Window);
  TNavigationColors Result;
  Result.Text = Dark ? aPalette.color(QPalette::WindowText) : QColor(Qt::white);
  const QColor Band = Dark ? QColor::fromHsv(Hue, 40, Window.toHsv().value() * 3 / 4)
                           : QColor::fromHsv(Hue, 76, 107);
  Result.Bar = WithContrast(Band, Result.Text);
  Result.Hover = WithContrast(Mixed(Result.Bar, Result.Text, 0.14), Result.Text);
  Result.HoverBorder = Mixed(Result.Bar, Result.Text, 0.3);
  Result.Current = WithContrast(Mixed(Result.Bar, Result.Text, 0.2), Result.Text);
  Result.CurrentBorder = Mixed(Result.Bar, Result.Text, 0.45);
  Result.Pressed = WithContrast(Result.Bar.darker(120), Result.Text);
  // Disabled buttons stay readable but recede.
  Result.DisabledText = Mixed(Result.Bar, Result.Text, 0.55);

  const QColor Button = aPalette.color(QPalette::Button);
  Result.HeadingText = aPalette.color(QPalette::ButtonText);
  Result.HeadingTop =
      WithContrast(Mixed(Button.lighter(104), Result.Bar, 0.03), Result.HeadingText);
  Result.HeadingBottom = WithContrast(Mixed(Button, Result.Bar, 0.15), Result.HeadingText);
  Result.HeadingHover = WithContrast(Mixed(Button, Result.Bar, 0.06), Result.HeadingText);
  Result.HeadingBorder = Result.Bar.darker(140);
  return Result;
}

QString TNavigationColors::StyleSheet() const {
  return QStringLiteral(R"(
QToolButton[navHeading="true"] {
  color: %1; background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %2, stop:1 %3);
  border: none; border-bottom: 1px solid %4; padding: 4px 6px; font-weight: bold;
  text-align: left;
}
QToolButton[navHeading="true"]:hover { background: %5; }
QToolButton[navButton="true"] {
  color: %6; background: transparent; border: 1px solid transparent; border-radius: 4px;
  padding: 6px 2px 4px 2px;
}
QToolButton[navButton="true"]:hover { background: %7; border-color: %8; }
QToolButton[navButton="true"]:pressed { background: %9; }
QToolButton[navButton="true"][navCurrent="true"] { background: %10; border-color: %11; }
QToolButton[navButton="true"]:disabled { color: %12; }
)")
      .arg(Css(HeadingText), Css(HeadingTop), Css(HeadingBottom), Css(HeadingBorder),
           Css(HeadingHover), Css(Text), Css(Hover), Css(HoverBorder), Css(Pressed))
      .arg(Css(Current), Css(CurrentBorder), Css(DisabledText));
}

} // namespace Kalvoro
