// Text contrast by the relative luminance of colours (sRGB): the ratio of the
// lighter to the darker luminance, each plus 0.05, from 1 (none) to 21 (black
// on white). Body text needs at least 4.5.
#pragma once

#include <QColor>

class QPalette;

namespace Kalvoro {

inline constexpr double MinimumTextContrast = 4.5;

double RelativeLuminance(const QColor& aColor);
double ContrastRatio(const QColor& aFirst, const QColor& aSecond);

// The background with its hue and saturation, made darker under a lighter text
// (or lighter under a darker one) just as far as the text needs to reach
// aMinimum on it; unchanged when it does already.
QColor WithContrast(const QColor& aBackground, const QColor& aText,
                    double aMinimum = MinimumTextContrast);

// Whether a palette is a dark one (light text on a dark window).
bool IsDarkPalette(const QPalette& aPalette);

// aFrom moved towards aTo by aAmount (0 to 1), channel by channel.
QColor Mixed(const QColor& aFrom, const QColor& aTo, double aAmount);

} // namespace Kalvoro
