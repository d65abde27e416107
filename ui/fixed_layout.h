// Helpers for windows whose controls sit at fixed pixel rectangles.
// GUI thread only.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QString>

namespace quor {

template <typename T>
T* Place(T* widget, int x, int y, int w, int h) {
  widget->setGeometry(x, y, w, h);
  return widget;
}

// Shrinks the label's font until `widest` (its longest text) fits its fixed
// width, so a larger desktop font does not cut the text off.
inline void FitLabel(QLabel* label, const QString& widest) {
  QFont font = label->font();
  while (QFontMetrics(font).horizontalAdvance(widest) > label->width() && font.pointSizeF() > 6.0) {
    font.setPointSizeF(font.pointSizeF() - 0.5);
  }
  label->setFont(font);
}

}  // namespace quor
