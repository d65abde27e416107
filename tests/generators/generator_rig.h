// Helpers shared by the generator tests (and the headers they all use).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <string>
#include <vector>

#include "core/generator.h"
#include "core/rgb_frame.h"
#include "generators/draw.h"
#include "test_support.h"

namespace quor::test {

using Mask = std::vector<std::string>;

struct Frame {
  Frame(int w, int h, uint8_t fill = 0) : width(w), height(h), bytes(size_t(w) * h * 3, fill) {}
  Canvas canvas() { return {bytes.data(), width, height}; }
  Rgb At(int x, int y) const {
    const uint8_t* p = &bytes[(size_t(y) * width + x) * 3];
    return {p[0], p[1], p[2]};
  }
  void Fill(uint8_t value) { std::ranges::fill(bytes, value); }
  Mask Lit() const {  // one string per row, '#' for a pixel that is not black
    Mask rows(height, std::string(width, '.'));
    for (int i = 0; i < width * height; ++i) rows[i / width][i % width] = At(i % width, i / width) != Rgb{} ? '#' : '.';
    return rows;
  }
  int Count(Rgb c) const {  // pixels showing `c`
    int n = 0;
    for (int i = 0; i < width * height; ++i) n += At(i % width, i / width) == c;
    return n;
  }
  bool All(Rgb c) const { return Count(c) == width * height; }
  int LitCount() const { return width * height - Count({}); }
  int width, height;
  std::vector<uint8_t> bytes;
};

// Generator G created at w x h on a harness of its own.
template <class G>
struct Rig {
  Rig(int w, int h, uint32_t seed = 1) : harness(seed), frame(w, h) { EXPECT_TRUE(gen.Create(w, h)); }
  void Render(int times = 1) { while (times-- > 0) gen.Render({frame.bytes.data(), frame.width, frame.height}); }
  Rgb At(int x, int y) const { return frame.At(x, y); }
  GeneratorHarness harness;
  G gen{harness.context};
  Frame frame;
};

// Renders `frames` frames over stale bytes; every pixel of the last must show the palette entry (low bytes) that
// `indices` selects for it.
template <class G>
void ExpectPaletteIndices(G& generator, int frames, const std::vector<std::vector<int>>& indices, std::string name) {
  Frame frame(int(indices[0].size()), int(indices.size()), 0x5A), want(frame.width, frame.height);
  for (int n = 0; n < frames; ++n) generator.Render({frame.bytes.data(), frame.width, frame.height});
  for (int y = 0; y < frame.height; ++y)
    for (int x = 0; x < frame.width; ++x) PutPixel(want.canvas(), x, y, generator.paletteEntry(indices[y][x]), false);
  EXPECT_EQ(frame.bytes, want.bytes) << name;
}

// Little-endian 32-bit words, spelled out here so the layout does not rest on the writer the generators use.
inline std::vector<uint8_t> LittleEndian(std::initializer_list<int32_t> words) {
  std::vector<uint8_t> bytes;
  for (int32_t word : words)
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(uint8_t(uint32_t(word) >> shift));
  return bytes;
}

// Loads a block starting with `words`, the rest zero.
template <class G>
void LoadWords(G& generator, std::initializer_list<int32_t> words) {
  SettingsBlock block{};
  std::ranges::copy(LittleEndian(words), block.begin());
  generator.ExchangeSettings(block, SettingsDirection::kLoad);
}

}  // namespace quor::test
