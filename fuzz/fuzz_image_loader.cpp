// libFuzzer target: arbitrary bytes as an image file for the Image Viewer.
// Whatever decodes must respect the size limits and scale onto a small and
// a wide matrix in every placement without reading outside its frames.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "generators/image_loader.h"
#include "generators/image_viewer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const quor::ImageDecodeResult result = quor::DecodeImageBytes(data, size);
  if (!result.image) return 0;
  const quor::DecodedImage& image = *result.image;
  if (image.width <= 0 || image.height <= 0 || int64_t{image.width} * image.height > quor::kMaxImagePixels ||
      image.frames.empty() || static_cast<int>(image.frames.size()) > quor::kMaxImageFrames) {
    std::abort();
  }
  std::vector<uint8_t> frame(static_cast<size_t>(40) * 8 * 3);
  for (const std::vector<uint8_t>& pixels : image.frames) {
    if (pixels.size() != static_cast<size_t>(image.width) * image.height * 3) std::abort();
  }
  // Scaling reads every source pixel once per call: a tall picture of a few
  // bytes (a BMP may declare millions of rows) takes every placement only
  // while it is small, so one input stays well under a second.
  const int placements = int64_t{image.width} * image.height <= (int64_t{1} << 16) ? 32 : 2;
  for (int options = 0; options < placements; ++options) {
    quor::ImagePlacement place;
    place.resize = options & 1;
    place.smooth = (options >> 1) & 1;
    place.centre = (options >> 2) & 1;
    place.keepAspect = (options >> 3) & 1;
    place.zoom = (options >> 4) & 1;
    quor::ScaleImageFrame({image.frames[0].data(), image.width, image.height}, place, {frame.data(), 40, 8});
    quor::ScaleImageFrame({image.frames.back().data(), image.width, image.height}, place, {frame.data(), 4, 4});
  }
  return 0;
}
