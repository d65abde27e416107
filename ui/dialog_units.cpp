#include "ui/dialog_units.h"

#include <QFontMetrics>
#include <QWidget>
#include <algorithm>
#include <cstdint>

namespace quor {

namespace {

// The average width of the 52 Latin letters, rounded, the way dialog
// templates have always measured their font.
int AverageCharWidth(const QFontMetrics& metrics) {
  static const QString kLetters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int total = metrics.horizontalAdvance(kLetters);
  return std::max(1, (total / 26 + 1) / 2);
}

// Rounds value * numerator / denominator to the nearest integer, halves away
// from zero, in 64-bit so large coordinates do not overflow.
int MulDivRound(int value, int numerator, int denominator) {
  const int64_t product = static_cast<int64_t>(value) * numerator;
  const int64_t half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator : -((-product + half) / denominator));
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font)
    : DialogUnits(AverageCharWidth(QFontMetrics(font)), QFontMetrics(font).height()) {}

DialogUnits::DialogUnits(const QWidget& widget) : DialogUnits(widget.font()) {}

DialogUnits::DialogUnits(int averageCharWidth, int charHeight)
    : charWidth_(std::max(1, averageCharWidth)), charHeight_(std::max(1, charHeight)) {}

int DialogUnits::X(int dlu) const { return MulDivRound(dlu, charWidth_, 4); }
int DialogUnits::Y(int dlu) const { return MulDivRound(dlu, charHeight_, 8); }

QRect DialogUnits::Rect(int x, int y, int w, int h) const { return QRect(X(x), Y(y), X(w), Y(h)); }

}  // namespace quor
