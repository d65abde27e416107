#include "generators/text_render.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cstdint>

#include "generators/draw.h"

namespace quor {
namespace {

// Larger character heights are beyond what the font engine rasterises
// (FreeType stops at 65535 pixels per em); nothing is drawn for them.
constexpr int kMaxTextSize = 1 << 15;

QFont MakeFont(int size, const TextStyle& style) {
  QFont font(QString::fromLatin1(style.fontName.data(), static_cast<qsizetype>(style.fontName.size())));
  font.setPixelSize(size);
  font.setWeight(style.bold ? QFont::Bold : QFont::Normal);
  font.setItalic(style.italic);
  font.setStyleStrategy(style.antialias ? QFont::PreferAntialias : QFont::NoAntialias);
  return font;
}

}  // namespace

void DrawTextChars(const Canvas& canvas, int x, int y, int size, Rgb color, bool maxBlend,
                   const TextStyle& style, std::string_view text) {
  if (text.empty() || size <= 0 || size > kMaxTextSize) return;
  const QColor pen(static_cast<uint8_t>(color.r), static_cast<uint8_t>(color.g),
                   static_cast<uint8_t>(color.b));
  // Black text lights no pixel.
  if (pen.red() == 0 && pen.green() == 0 && pen.blue() == 0) return;

  // Raster row i lands on canvas row top + i; only the rows that reach the
  // canvas are rendered.
  const int64_t top = style.centred ? int64_t{y} - size / 2 : int64_t{y};
  const int64_t firstRow = std::max<int64_t>(top, 0);
  const int64_t lastRow = std::min<int64_t>(top + size - 1, canvas.height - 1);
  if (firstRow > lastRow || canvas.width <= 0) return;

  const QFont font = MakeFont(size, style);
  const QFontMetrics metrics(font);
  const QString string = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  const int textWidth = metrics.horizontalAdvance(string);
  const int64_t column = style.centred ? int64_t{x} - textWidth / 2 : int64_t{x};
  // Italic overhang may reach a little past the advance on either side.
  if (column - size >= canvas.width || column + textWidth + size <= 0) return;

  // The cell's top (its internal leading cut off) sits at raster row
  // -internalLeading, so the baseline is at ascent - internalLeading.
  const int internalLeading = metrics.ascent() + metrics.descent() - size;
  const int64_t baseline = metrics.ascent() - internalLeading - (firstRow - top);

  QImage image(canvas.width, static_cast<int>(lastRow - firstRow + 1), QImage::Format_RGB888);
  image.fill(Qt::black);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing, style.antialias);
    painter.setFont(font);
    painter.setPen(pen);
    painter.drawText(QPointF(static_cast<qreal>(column), static_cast<qreal>(baseline)), string);
  }

  for (int row = 0; row < image.height(); ++row) {
    const uchar* pixel = image.constScanLine(row);
    const int canvasRow = static_cast<int>(firstRow) + row;
    for (int c = 0; c < image.width(); ++c, pixel += 3) {
      if (pixel[0] == 0 && pixel[1] == 0 && pixel[2] == 0) continue;
      PutPixel(canvas, c, canvasRow, {pixel[0], pixel[1], pixel[2]}, maxBlend);
    }
  }
}

}  // namespace quor
