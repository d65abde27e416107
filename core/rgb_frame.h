// Pixel addressing shared by every part of the engine. An RgbFrame is
// width x height x 3 bytes, row-major from the top-left pixel, bytes R, G, B.
// A Canvas (writable) or FrameView (read-only) is a non-owning view of one
// frame; it never outlives the call it is passed to.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quor {

// A colour as the drawing calls take it: integers, stored as bytes (a value
// outside 0..255 keeps only its low byte, as a byte store does).
struct Rgb {
  int r = 0;
  int g = 0;
  int b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A read-only view: what encoders, recorders and outputs take.
struct FrameView {
  const uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;

  size_t ByteSize() const { return static_cast<size_t>(width) * static_cast<size_t>(height) * 3; }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
  const uint8_t* At(int x, int y) const {
    return pixels + (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
  }
};

// A writable view: what generators render into and the drawing calls take.
struct Canvas {
  uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;

  size_t ByteSize() const { return static_cast<size_t>(width) * static_cast<size_t>(height) * 3; }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
  uint8_t* At(int x, int y) const {
    return pixels + (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
  }
  operator FrameView() const { return {pixels, width, height}; }
};

inline constexpr int kMinMatrixSide = 4;
inline constexpr int kMaxMatrixSide = 320;
inline constexpr int kMaxMatrixPixels = 16384;

inline constexpr bool IsValidMatrixSize(int width, int height) {
  return width >= kMinMatrixSide && width <= kMaxMatrixSide && height >= kMinMatrixSide &&
         height <= kMaxMatrixSide && width * height <= kMaxMatrixPixels;
}

}  // namespace quor
