#include "ui/preview_renderer.h"

#include <algorithm>
#include <cstring>

#include "engine/engine.h"

namespace quor {

int PreviewHeight(int matrixWidth, int matrixHeight, int previewAspect) {
  if (previewAspect == 1) {
    return std::min(static_cast<int>(static_cast<double>(matrixHeight) / matrixWidth * 320.0), 640);
  }
  return std::max(matrixHeight, kDefaultPreviewHeight);
}

PreviewGeometry ComputePreviewGeometry(int matrixWidth, int matrixHeight, int previewHeight, int previewGrid) {
  PreviewGeometry g;
  if (matrixWidth <= 0 || matrixHeight <= 0 || previewHeight <= 0) return g;
  g.grid = previewGrid != 0 ? 1 : 0;
  // A grid line per cell would leave less than one pixel per cell.
  if (2 * matrixWidth > kPreviewWidth || 2 * matrixHeight > previewHeight) g.grid = 0;
  g.cell = std::min(kPreviewWidth / matrixWidth - g.grid, previewHeight / matrixHeight - g.grid);
  g.left = (kPreviewWidth + g.grid - matrixWidth * (g.cell + g.grid)) / 2;
  g.top = (previewHeight + g.grid - matrixHeight * (g.cell + g.grid)) / 2;
  return g;
}

void DrawPreview(const uint8_t* frame, int matrixWidth, int matrixHeight, int previewGrid, bool invert,
                 QImage& picture) {
  const int height = picture.height();
  const uint32_t grey = qRgb(kPreviewBackground, kPreviewBackground, kPreviewBackground);
  if (frame == nullptr || picture.width() != kPreviewWidth || picture.format() != QImage::Format_RGB32) {
    picture.fill(grey);
    return;
  }
  const PreviewGeometry g = ComputePreviewGeometry(matrixWidth, matrixHeight, height, previewGrid);
  if (g.cell <= 0) {
    picture.fill(grey);
    return;
  }
  const int pitch = g.cell + g.grid;
  const uint8_t flip = invert ? 255 : 0;
  std::array<uint32_t, kPreviewWidth> greyLine;
  greyLine.fill(grey);
  // Each picture row is written once: a margin or grid row, or the scan
  // line of one matrix row (cells, with grey between and beside them).
  std::array<uint32_t, kPreviewWidth> line = greyLine;
  int lineOf = -1;
  for (int row = 0; row < height; ++row) {
    const int inside = row - g.top;
    const int y = inside >= 0 ? inside / pitch : -1;
    const bool cellRow = inside >= 0 && y < matrixHeight && inside % pitch < g.cell;
    if (!cellRow) {
      std::memcpy(picture.scanLine(row), greyLine.data(), sizeof(greyLine));
      continue;
    }
    if (y != lineOf) {
      const uint8_t* src = frame + static_cast<size_t>(y) * static_cast<size_t>(matrixWidth) * 3;
      uint32_t* out = line.data() + g.left;
      for (int x = 0; x < matrixWidth; ++x, src += 3, out += pitch) {
        const uint32_t colour = qRgb(src[0] ^ flip, src[1] ^ flip, src[2] ^ flip);
        for (int i = 0; i < g.cell; ++i) out[i] = colour;
      }
      lineOf = y;
    }
    std::memcpy(picture.scanLine(row), line.data(), sizeof(line));
  }
}

QImage& PreviewBuffer::BackBuffer(int height) {
  QImage& image = images_[static_cast<size_t>(back_)];
  if (image.height() != height || image.width() != kPreviewWidth) {
    image = QImage(kPreviewWidth, height, QImage::Format_RGB32);
  }
  return image;
}

void PreviewBuffer::Publish() {
  const int old = middle_.exchange(back_ | kNewBit, std::memory_order_acq_rel);
  back_ = old & ~kNewBit;
}

bool PreviewBuffer::TakeNew() {
  if ((middle_.load(std::memory_order_relaxed) & kNewBit) == 0) return false;
  const int old = middle_.exchange(front_, std::memory_order_acq_rel);
  front_ = old & ~kNewBit;
  return true;
}

void PreviewRenderer::SetOptions(int previewAspect, int previewGrid) {
  previewAspect_ = previewAspect;
  previewGrid_ = previewGrid;
}

void PreviewRenderer::RenderAll() {
  const int w = engine_.width();
  const int h = engine_.height();
  const int previewHeight = PreviewHeight(w, h, previewAspect_.load());
  const int grid = previewGrid_.load();
  auto draw = [&](int index, FrameIndex frame, bool invert) {
    PreviewBuffer& buffer = buffers_[static_cast<size_t>(index)];
    DrawPreview(engine_.frame(frame), w, h, grid, invert, buffer.BackBuffer(previewHeight));
    buffer.Publish();
  };
  draw(kPreviewCentre, FrameIndex::kOutput, false);
  // In show mode only the output picture is on screen.
  if (engine_.flags().showModeActive.load()) return;
  auto channel = [&](int index, int source, FrameIndex mix, int firstSlot) {
    switch (source) {
      case kPreviewOff:
      case kPreviewMix:
        draw(index, mix, false);
        break;
      case kPreviewGenerator1:
      case kPreviewGenerator2: {
        const int slot = firstSlot + (source == kPreviewGenerator2 ? 2 : 0);
        draw(index, static_cast<FrameIndex>(slot), engine_.panel().invert[static_cast<size_t>(slot)].load() != 0);
        break;
      }
      default:
        break;
    }
  };
  channel(kPreviewLeft, engine_.settings().leftPreviewSource.load(), FrameIndex::kChannel1, 0);
  channel(kPreviewRight, engine_.settings().rightPreviewSource.load(), FrameIndex::kChannel2, 1);
}

}  // namespace quor
