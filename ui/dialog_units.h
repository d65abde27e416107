// Converts dialog units, the font-relative coordinates dialog layouts are
// given in, into pixels of one dialog font: horizontally a unit is a quarter
// of the font's average character width, vertically an eighth of its
// character height. Every dialog laid out in dialog units uses this one
// conversion so all of them scale alike with the desktop font.
// GUI thread only.
#pragma once

#include <QFont>
#include <QRect>

class QWidget;

namespace quor {

class DialogUnits {
 public:
  // Takes the metrics of `font` (normally the dialog's own font).
  explicit DialogUnits(const QFont& font);
  // The metrics of the widget's own font.
  explicit DialogUnits(const QWidget& widget);
  // Metrics given directly: average character width and character height
  // in pixels.
  DialogUnits(int averageCharWidth, int charHeight);

  // Rounded to the nearest pixel, halves away from zero.
  int X(int dlu) const;
  int Y(int dlu) const;
  // A rectangle given as left, top, width, height in dialog units.
  QRect Rect(int x, int y, int w, int h) const;

  int averageCharWidth() const { return charWidth_; }
  int charHeight() const { return charHeight_; }

 private:
  int charWidth_;
  int charHeight_;
};

}  // namespace quor
