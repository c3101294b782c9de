// The colours of the navigation bar, made from a palette: a slate band in the
// palette's highlight hue under a light window, a band darker than the window
// under a dark one, headings in the palette's button colours. Every text colour
// reaches the body-text contrast on every background it stands on.
#pragma once

#include <QColor>

class QPalette;

namespace Kalvoro {

struct TNavigationColors {
  QColor Bar;
  QColor Text;
  QColor DisabledText;
  // Button backgrounds under the pointer and for the current view, and their
  // borders.
  QColor Hover;
  QColor HoverBorder;
  QColor Current;
  QColor CurrentBorder;
  QColor Pressed;
  // Headings: a gradient from top to bottom, its text, the line under it.
  QColor HeadingTop;
  QColor HeadingBottom;
  QColor HeadingHover;
  QColor HeadingText;
  QColor HeadingBorder;

  static TNavigationColors FromPalette(const QPalette& aPalette);
  // The style sheet of the bar's buttons and headings in these colours.
  QString StyleSheet() const;
};

} // namespace Kalvoro
