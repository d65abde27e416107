#include "files/frame_snapshot.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageWriter>
#include <algorithm>

#include "files/safe_file.h"

namespace quor {

int SnapshotScale(int width, int height, int minLongSide) {
  const int longer = std::max({width, height, 1});
  return std::max(1, (minLongSide + longer - 1) / longer);
}

std::optional<Failure> WriteFrameSnapshot(const std::string& path, FrameView frame, int minLongSide) {
  const int width = frame.width;
  const int height = frame.height;
  if (frame.pixels == nullptr || width <= 0 || height <= 0) return Failure{path, 0, "no frame to write"};
  QImage image(width, height, QImage::Format_RGB888);
  for (int y = 0; y < height; ++y) {
    std::copy_n(frame.pixels + static_cast<size_t>(y) * static_cast<size_t>(width) * 3, static_cast<size_t>(width) * 3,
                image.scanLine(y));
  }
  const int scale = SnapshotScale(width, height, minLongSide);
  if (scale > 1) image = image.scaled(width * scale, height * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation);

  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "png");
  if (!writer.write(image)) return Failure{path, 0, writer.errorString().toStdString()};
  // The name is used as bytes, and the file is replaced in one step.
  return ReplaceFile(
      path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(png.constData()), static_cast<size_t>(png.size())));
}

}  // namespace quor
