// Bitmap Export: one uncompressed 24-bit BMP file per frame, rows stored
// bottom-up and padded to four bytes, numbered "%08d.bmp" in a folder.
// Pure; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/rgb_frame.h"

namespace quor {

inline constexpr size_t kBitmapHeaderBytes = 54;

// Bytes per stored row: 3 per pixel, rounded up to a multiple of 4.
size_t BitmapRowBytes(int width);
// Replaces `out` with the whole file for the frame.
void EncodeBitmap(FrameView frame, std::vector<uint8_t>& out);
// "<folder>/<counter as eight digits>.bmp".
std::string BitmapFileName(std::string_view folder, int counter);

}  // namespace quor
