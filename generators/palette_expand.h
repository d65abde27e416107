// Frames drawn through a 256-entry palette (Plasma, Fire, Metaballs): each
// index becomes the entry's three bytes. The entries are kept as words, so
// a pixel costs one load and one 4-byte store (its fourth byte is
// overwritten by the next pixel) instead of three of each.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quor {

static_assert(std::endian::native == std::endian::little, "a packed entry's first byte is red");

// Red in the lowest byte, then green and blue; the top byte is 0.
using PackedPalette = std::array<uint32_t, 256>;

inline constexpr uint32_t PackRgb(uint8_t r, uint8_t g, uint8_t b) {
  return uint32_t{r} | uint32_t{g} << 8 | uint32_t{b} << 16;
}

// out[3i], out[3i + 1], out[3i + 2] = red, green, blue of palette[indices[i]]
// for i < count; nothing at or past out[3 * count] is written.
inline void ExpandPalette(const uint8_t* indices, size_t count, const PackedPalette& palette, uint8_t* out) {
  if (count == 0) return;
  for (size_t i = 0; i + 1 < count; ++i) {
    const uint32_t entry = palette[indices[i]];
    std::memcpy(out + 3 * i, &entry, 4);
  }
  const uint32_t last = palette[indices[count - 1]];
  std::memcpy(out + 3 * (count - 1), &last, 3);
}

}  // namespace quor
