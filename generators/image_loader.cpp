#include "generators/image_loader.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QString>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "core/named_file.h"

namespace quor {
namespace {

// Qt's own guard for every single allocation the decoders make, in MB.
constexpr int kAllocationLimitMb = 128;

std::string Text(const QString& text) { return text.toStdString(); }

ImageDecodeResult Decode(QImageReader& reader) {
  ImageDecodeResult result;
  // A process-wide setting: written once, before the first decode, so that
  // decoders on several threads (loaders, the dialog's check) never race on it.
  static std::once_flag limitSet;
  std::call_once(limitSet, [] { QImageReader::setAllocationLimit(kAllocationLimitMb); });
  // Counting pages first: multi-page handlers (TIFF) count them from the
  // start of the file, which later reads move away from.
  (void)reader.imageCount();
  const QSize declared = reader.size();
  if (declared.isValid() && int64_t{declared.width()} * declared.height() > kMaxImagePixels) {
    char text[128];
    std::snprintf(text, sizeof(text), "the image is %d x %d pixels, more than the %lld pixels that can be shown",
                  declared.width(), declared.height(), static_cast<long long>(kMaxImagePixels));
    result.error = text;
    return result;
  }
  auto image = std::make_shared<DecodedImage>();
  // Animations (GIF) yield their frames one read after another; multi-page
  // formats (TIFF) move on with jumpToNextImage.
  const bool animated = reader.supportsAnimation();
  int64_t bytes = 0;
  for (;;) {
    QImage frame;
    if (!reader.read(&frame) || frame.isNull()) {
      if (image->frames.empty()) result.error = "cannot decode it: " + Text(reader.errorString());
      break;
    }
    if (image->frames.empty()) {
      if (int64_t{frame.width()} * frame.height() > kMaxImagePixels) {
        result.error = "the image is larger than can be shown";
        break;
      }
      image->width = frame.width();
      image->height = frame.height();
    }
    // Frames of another size (pages of a TIFF) are placed at the top left.
    if (frame.width() != image->width || frame.height() != image->height) {
      frame = frame.copy(0, 0, image->width, image->height);
    }
    frame = frame.convertToFormat(QImage::Format_RGB888);
    if (frame.isNull()) break;
    const size_t rowBytes = static_cast<size_t>(image->width) * 3;
    if (bytes + static_cast<int64_t>(rowBytes) * image->height > kMaxDecodedBytes) {
      result.error = "only the first " + std::to_string(image->frames.size()) + " frames fit into memory";
      break;
    }
    std::vector<uint8_t> pixels(rowBytes * static_cast<size_t>(image->height));
    for (int y = 0; y < image->height; ++y) {
      std::memcpy(&pixels[rowBytes * static_cast<size_t>(y)], frame.constScanLine(y), rowBytes);
    }
    bytes += static_cast<int64_t>(pixels.size());
    image->frames.push_back(std::move(pixels));
    if (static_cast<int>(image->frames.size()) >= kMaxImageFrames) break;
    if (animated ? !reader.canRead() : !reader.jumpToNextImage()) break;
  }
  if (!image->frames.empty()) result.image = std::move(image);
  return result;
}

}  // namespace

ImageDecodeResult DecodeImageFile(const std::string& path) {
  // Opened by its bytes (a name that is no valid UTF-8 opens too) and only
  // as a regular file: a FIFO would hold the loader, and the program's
  // exit, for good.
  const Result<int> opened = OpenNamedFile(path, NamedFileUse::kRead);
  if (!opened) return {nullptr, "cannot open it: " + opened.failure().message};
  QFile file;
  if (!file.open(*opened, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    CloseNamedFile(*opened);
    return {nullptr, "cannot open it: " + Text(file.errorString())};
  }
  QImageReader reader(&file);
  return Decode(reader);
}

ImageDecodeResult DecodeImageBytes(const uint8_t* data, size_t size) {
  const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QBuffer buffer;
  buffer.setData(bytes);
  if (!buffer.open(QIODevice::ReadOnly)) return {nullptr, "cannot read the data"};
  QImageReader reader(&buffer);
  return Decode(reader);
}

bool IsImageFileName(std::string_view name) {
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
  for (std::string_view ext : {".gif", ".jpg", ".jpeg", ".jpe", ".bmp", ".png", ".tif", ".tiff"}) {
    if (lower.size() > ext.size() && lower.compare(lower.size() - ext.size(), ext.size(), ext) == 0) return true;
  }
  return false;
}

void SlideshowWalk::Reset(std::string folder) {
  folder_ = std::move(folder);
  entries_.clear();
  cursor_ = 0;
  open_ = false;
}

void SlideshowWalk::ReadListing() {
  entries_.clear();
  cursor_ = 0;
  open_ = true;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
    entries_.push_back(it->path().filename().string());
  }
  // Name order regardless of case, as folder listings show it.
  auto lower = [](std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
  };
  std::sort(entries_.begin(), entries_.end(),
            [&](const std::string& a, const std::string& b) { return std::pair{lower(a), a} < std::pair{lower(b), b}; });
}

std::string SlideshowWalk::Next() {
  if (folder_.empty()) return {};
  // At most one restart: a folder without an image gives up after one pass.
  for (int pass = 0; pass < 2; ++pass) {
    if (!open_) ReadListing();
    while (cursor_ < entries_.size()) {
      const std::string& name = entries_[cursor_++];
      if (!IsImageFileName(name)) continue;
      const std::string file = folder_ + "/" + name;
      // Folders, FIFOs and devices are no pictures (a FIFO would never end).
      std::error_code error;
      if (!std::filesystem::is_regular_file(file, error)) continue;
      return file;
    }
    open_ = false;
  }
  return {};
}

}  // namespace quor
