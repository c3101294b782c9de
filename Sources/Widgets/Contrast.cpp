#include "Contrast.h"

#include <QPalette>

#include <algorithm>
#include <cmath>

namespace Kalvoro {

namespace {

double Linear(double aChannel) {
  return aChannel <= 0.04045 ? aChannel / 12.92 : std::pow((aChannel + 0.055) / 1.055, 2.4);
}

} // namespace

double RelativeLuminance(const QColor& aColor) {
  const QColor Rgb = aColor.toRgb();
  return 0.2126 * Linear(Rgb.redF()) + 0.7152 * Linear(Rgb.greenF()) + 0.0722 * Linear(Rgb.blueF());
}

double ContrastRatio(const QColor& aFirst, const QColor& aSecond) {
  const double First = RelativeLuminance(aFirst);
  const double Second = RelativeLuminance(aSecond);
  return (std::max(First, Second) + 0.05) / (std::min(First, Second) + 0.05);
}

QColor WithContrast(const QColor& aBackground, const QColor& aText, double aMinimum) {
  const bool Darken = RelativeLuminance(aText) >= RelativeLuminance(aBackground);
  const QColor Hsl = aBackground.toHsl();
  // Judged in the 8-bit colour that is painted, not the finer one computed.
  QColor Result(aBackground.rgb());
  for (int Lightness = Hsl.lightness();
       ContrastRatio(Result, aText) < aMinimum && Lightness > 0 && Lightness < 255;) {
    Lightness += Darken ? -1 : 1;
    Result = QColor(QColor::fromHsl(Hsl.hslHue(), Hsl.hslSaturation(), Lightness).rgb());
  }
  return Result;
}

bool IsDarkPalette(const QPalette& aPalette) {
  return RelativeLuminance(aPalette.color(QPalette::Window)) <
         RelativeLuminance(aPalette.color(QPalette::WindowText));
}

QColor Mixed(const QColor& aFrom, const QColor& aTo, double aAmount) {
  const QColor From = aFrom.toRgb();
  const QColor To = aTo.toRgb();
  const auto Channel = [aAmount](double aFirst, double aSecond) {
    return aFirst + (aSecond - aFirst) * aAmount;
  };
  return QColor::fromRgbF(static_cast<float>(Channel(From.redF(), To.redF())),
                          static_cast<float>(Channel(From.greenF(), To.greenF())),
                          static_cast<float>(Channel(From.blueF(), To.blueF())));
}

} // namespace Kalvoro
