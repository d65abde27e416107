// Helpers shared by the generator tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/generator.h"
#include "core/rgb_frame.h"
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
    for (int i = 0; i < width * height; ++i)
      if (At(i % width, i / width) != Rgb{}) rows[i / width][i % width] = '#';
    return rows;
  }
  int LitCount() const {
    int n = 0;
    for (int i = 0; i < width * height; ++i) n += At(i % width, i / width) != Rgb{};
    return n;
  }
  int width, height;
  std::vector<uint8_t> bytes;
};

// Generator G created at w x h on a harness of its own.
template <class G>
struct Rig {
  Rig(int w, int h, uint32_t seed = 1) : harness(seed), frame(w, h) { EXPECT_TRUE(gen.Create(w, h)); }
  void Render(int times = 1) {
    for (int i = 0; i < times; ++i) gen.Render(frame.bytes.data(), frame.width, frame.height);
  }
  Rgb At(int x, int y) const { return frame.At(x, y); }
  GeneratorHarness harness;
  G gen{harness.context};
  Frame frame;
};

// Renders `frames` frames over stale bytes; every pixel of the last must show
// the palette entry (low bytes) that `indices` selects for it.
template <class G>
void ExpectPaletteIndices(G& generator, int frames, const std::vector<std::vector<int>>& indices,
                          const std::string& name) {
  Frame frame(int(indices[0].size()), int(indices.size()), 0x5A);
  std::vector<uint8_t> want;
  for (int n = 0; n < frames; ++n) generator.Render(frame.bytes.data(), frame.width, frame.height);
  for (const std::vector<int>& row : indices)
    for (int index : row) {
      const Rgb c = generator.paletteEntry(index);
      want.insert(want.end(), {uint8_t(c.r), uint8_t(c.g), uint8_t(c.b)});
    }
  EXPECT_EQ(frame.bytes, want) << name;
}

// Little-endian 32-bit words, spelled out byte by byte so that the layout is
// pinned independently of the writer the generators use.
inline std::vector<uint8_t> LittleEndian(std::initializer_list<int32_t> words) {
  std::vector<uint8_t> bytes;
  for (int32_t word : words)
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(uint8_t(uint32_t(word) >> shift));
  return bytes;
}

// A settings block starting with `words`, the rest `fill`.
inline SettingsBlock Words(std::initializer_list<int32_t> words, uint8_t fill = 0) {
  SettingsBlock block;
  block.fill(fill);
  std::ranges::copy(LittleEndian(words), block.begin());
  return block;
}

template <class G>
void LoadWords(G& generator, std::initializer_list<int32_t> words) {
  SettingsBlock block = Words(words);
  generator.ExchangeSettings(block, SettingsDirection::kLoad);
}

// Stores `generator` over a block of `fill` bytes: the block must begin with
// `words` and keep `fill` just after them. Returns the block.
template <class G>
SettingsBlock ExpectStored(G& generator, std::initializer_list<int32_t> words, uint8_t fill = 0xA5) {
  SettingsBlock block;
  block.fill(fill);
  generator.ExchangeSettings(block, SettingsDirection::kStore);
  std::vector<uint8_t> want = LittleEndian(words);
  want.push_back(fill);
  EXPECT_EQ(std::vector<uint8_t>(block.begin(), block.begin() + want.size()), want);
  return block;
}

// Loading `block` and storing again gives the same block; bytes past the
// generator's own are expected to hold the block's last byte.
template <class G>
void ExpectRoundTrip(G& generator, SettingsBlock block) {
  const SettingsBlock original = block;
  SettingsBlock again;
  again.fill(block.back());
  generator.ExchangeSettings(block, SettingsDirection::kLoad);
  generator.ExchangeSettings(again, SettingsDirection::kStore);
  EXPECT_EQ(again, original);
}

}  // namespace quor::test
