// Pieces the mixer shares between its portable kernels (mixer.cpp) and the
// kernels written for wide vector units (mixer_avx512.cpp). Not part of the
// engine's interface.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quor::mix {

// Per-call weights: A keeps full weight (128) up to fade 127 while B rises,
// then B keeps it while A falls. Exactly one of the two is 128 at any fade.
struct Weights {
  uint16_t a;
  uint16_t b;
};

inline Weights WeightsForFade(int fade) {
  if (fade > 127) return {static_cast<uint16_t>(255 - fade), 128};
  return {128, static_cast<uint16_t>(fade)};
}

// "sum * weight >= 128" as "sum >= ceil(128 / weight)": 1..128 for weights
// 1..128. Weight 0 never passes; it is reported as 0 here and the callers
// treat it apart.
inline uint8_t OverlayThreshold(uint16_t weight) {
  return weight == 0 ? uint8_t{0} : static_cast<uint8_t>((127 + weight) / weight);
}

// Saturating byte sum. The border test compares sums of non-negative terms
// with a threshold of at most 128, so a sum clipped at 255 decides the same
// way as the exact one and the whole neighbourhood fits in bytes.
inline uint8_t AddSat(uint8_t x, uint8_t y) {
  const unsigned s = unsigned{x} + unsigned{y};
  return static_cast<uint8_t>(s > 255 ? 255 : s);
}

// Scratch of the border overlays, one byte per pixel of saturated sums: the
// key's pixels as shown (inverted or not), each pixel as it enters its own
// test, its left and right neighbours in the row, and left + self + right.
struct BorderSums {
  uint8_t* shown;   // shown[-1] and shown[pixels] are readable zeros
  uint8_t* centre;
  uint8_t* sides;
  uint8_t* rows;    // a readable zero row above and below
  size_t width;
  size_t pixels;
};

// Completes sides and rows after they were summed as if the frame were one
// long row: the two ends of each row lose their neighbour across the edge.
inline void FinishBorderRows(const BorderSums& s) {
  const uint8_t* shown = s.shown;
  uint8_t* sides = s.sides;
  uint8_t* rows = s.rows;
  const size_t w = s.width;
  for (size_t first = 0; first < s.pixels; first += w) {
    const size_t last = first + w - 1;
    sides[first] = w > 1 ? shown[first + 1] : uint8_t{0};
    sides[last] = w > 1 ? shown[last - 1] : uint8_t{0};
    rows[first] = AddSat(sides[first], shown[first]);
    rows[last] = AddSat(sides[last], shown[last]);
  }
  uint8_t* above = rows - w;
  uint8_t* below = rows + s.pixels;
  for (size_t p = 0; p < w; ++p) above[p] = below[p] = 0;
}

// One complete set of mixer kernels. Frames hold `pixels` pixels of three
// bytes, and dst may be the same buffer as either input.
struct KernelSet {
  void (*progressive)(const uint8_t* a, const uint8_t* b, uint8_t* dst, size_t pixels, uint8_t invA,
                      uint8_t invB, Weights w);
  void (*linear)(const uint8_t* a, const uint8_t* b, uint8_t* dst, size_t pixels, uint8_t invA, uint8_t invB,
                 int fade);
  void (*shape)(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t pixels, uint8_t invKey,
                uint8_t invOther);
  void (*intensity)(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t pixels, uint8_t invKey,
                    uint8_t invOther);
  // The key lies on top where its pixel sum reaches
  // OverlayThreshold(weightKey); never at weight 0.
  void (*overlay)(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t pixels, uint8_t invKey,
                  uint8_t invOther, uint16_t weightKey, uint16_t weightOther);
  // Border sums: shown and, with inversion only, centre from the key; then
  // sides and rows.
  void (*borderPixelSums)(const uint8_t* key, size_t pixels, uint8_t invKey, uint8_t* shown, uint8_t* centre);
  void (*borderRowSums)(const BorderSums& sums);
  // weightKey > 0: the key lies on top where centre + sides + the rows
  // above and below reach OverlayThreshold(weightKey).
  void (*overlayBorder)(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t pixels, uint8_t invKey,
                        uint8_t invOther, uint16_t weightKey, uint16_t weightOther, const BorderSums& sums);
  // dst[j] = table[dst[j]] for every byte.
  void (*applyTable)(uint8_t* dst, size_t bytes, const uint8_t* table);
};

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define QUOR_MIX_AVX512 1

// Kernels for processors with AVX-512 BW, VL and VBMI, as in KernelSet.
// Usable() tells whether this processor and system run them.
namespace avx512 {

bool Usable();

void Progressive(const uint8_t* a, const uint8_t* b, uint8_t* dst, size_t pixels, uint8_t invA, uint8_t invB,
                 Weights w);
void Shape(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t pixels, uint8_t invKey,
           uint8_t invOther);
void Intensity(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t pixels, uint8_t invKey,
               uint8_t invOther);
void Overlay(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t pixels, uint8_t invKey,
             uint8_t invOther, uint16_t weightKey, uint16_t weightOther);
void BorderPixelSums(const uint8_t* key, size_t pixels, uint8_t invKey, uint8_t* shown, uint8_t* centre);
void BorderRowSums(const BorderSums& sums);
void OverlayBorder(const uint8_t* key, const uint8_t* other, uint8_t* dst, size_t pixels, uint8_t invKey,
                   uint8_t invOther, uint16_t weightKey, uint16_t weightOther, const BorderSums& sums);
void ApplyTable(uint8_t* dst, size_t bytes, const uint8_t* table);

}  // namespace avx512
#endif

}  // namespace quor::mix
