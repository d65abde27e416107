#include "core/mixer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace quor {
namespace {

using Frame = std::vector<uint8_t>;
using Px = std::array<int, 3>;

Frame Filled(int width, int height, Px c) {
  Frame f;
  for (int i = 0; i < width * height; ++i) f.insert(f.end(), {uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2])});
  return f;
}

Frame Mix(const Frame& a, const Frame& b, int width, int height, const MixParams& p) {
  Mixer mixer;
  Frame dst(a.size(), 0x5A);
  mixer.MixFrames(a.data(), b.data(), dst.data(), width, height, p);
  return dst;
}

// One pixel of a 4x4 mix of uniform frames.
Px MixPixel(Px a, Px b, const MixParams& p) {
  const Frame out = Mix(Filled(4, 4, a), Filled(4, 4, b), 4, 4, p);
  return {out[15], out[16], out[17]};
}

// The mix written out straight from the formulas, one pixel and one
// component at a time, with pow per component.
Frame ReferenceMix(const Frame& frameA, const Frame& frameB, int width, int height, const MixParams& p) {
  const int mode = p.mode < 0 || p.mode > 9 ? 0 : p.mode;
  const int f = std::clamp(p.fade, 0, 255), master = std::clamp(p.master, 0, 255);
  const int wA = f > 127 ? 255 - f : 128, wB = f > 127 ? 128 : f;
  auto at = [&](const Frame& fr, int x, int y, int c) { return int{fr[size_t((y * width + x) * 3 + c)]}; };
  auto borderSum = [&](const Frame& fr, bool invert, int x, int y) {
    int sum = 0, n = 0;
    for (int yy = y - 1; yy <= y + 1; ++yy)
      for (int xx = x - 1; xx <= x + 1; ++xx) {
        if (xx < 0 || yy < 0 || xx >= width || yy >= height) continue;
        ++n;
        for (int c = 0; c < 3; ++c) sum += (xx == x && yy == y && invert) ? 255 - at(fr, xx, yy, c) : at(fr, xx, yy, c);
      }
    return invert ? n * 765 - sum : sum;
  };
  Frame out(frameA.size());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int a[3], b[3];
      for (int c = 0; c < 3; ++c) {
        a[c] = p.invertA ? 255 - at(frameA, x, y, c) : at(frameA, x, y, c);
        b[c] = p.invertB ? 255 - at(frameB, x, y, c) : at(frameB, x, y, c);
      }
      const int sumA = a[0] + a[1] + a[2], sumB = b[0] + b[1] + b[2];
      const int la = (2 * a[0] + 3 * a[1] + a[2]) / 6, lb = (2 * b[0] + 3 * b[1] + b[2]) / 6;
      const int sa = borderSum(frameA, p.invertA, x, y), sb = borderSum(frameB, p.invertB, x, y);
      for (int c = 0; c < 3; ++c) {
        int v = 0;
        switch (mode) {
          case 0: v = std::max(wA * a[c] / 128, wB * b[c] / 128); break;
          case 1: v = a[c] * (255 - f) / 255 + b[c] * f / 255; break;
          case 2: v = sumA == 0 ? 0 : b[c]; break;
          case 3: v = sumB == 0 ? 0 : a[c]; break;
          case 4: v = la == 0 ? 0 : b[c] * la / 255; break;
          case 5: v = lb == 0 ? 0 : a[c] * lb / 255; break;
          case 6: v = sumA * wA >= 128 ? wA * a[c] / 128 : wB * b[c] / 128; break;
          case 7: v = sumB * wB >= 128 ? wB * b[c] / 128 : wA * a[c] / 128; break;
          case 8: v = sa * wA >= 128 ? wA * a[c] / 128 : wB * b[c] / 128; break;
          case 9: v = sb * wB >= 128 ? wB * b[c] / 128 : wA * a[c] / 128; break;
        }
        if (p.gamma != 1.0f) v = int(std::pow(v / 255.0, double(1.0f / p.gamma)) * 255.0);
        out[size_t((y * width + x) * 3 + c)] = uint8_t(master * v / 255);
      }
    }
  }
  return out;
}

// Mostly black, dim, near-white and random pixels, so every threshold in the
// modes is met and missed somewhere.
Frame RandomFrame(std::mt19937& rng, int width, int height) {
  Frame f;
  std::uniform_int_distribution<int> kind(0, 9), any(0, 255), small(0, 3);
  for (int i = 0; i < width * height; ++i) {
    const int k = kind(rng);
    for (int c = 0; c < 3; ++c) f.push_back(uint8_t(k < 4 ? 0 : k < 6 ? small(rng) : k < 8 ? 255 - small(rng) : any(rng)));
  }
  return f;
}

TEST(MixFrames, ProgressiveAndLinearFadeFromAToB) {
  std::mt19937 rng(7);
  const Frame a = RandomFrame(rng, 5, 7), b = RandomFrame(rng, 5, 7);
  for (int mode : {kMixProgressive, kMixLinear}) {
    EXPECT_EQ(Mix(a, b, 5, 7, {.mode = mode, .fade = 0}), a) << "mode " << mode;
    EXPECT_EQ(Mix(a, b, 5, 7, {.mode = mode, .fade = 255}), b) << "mode " << mode;
  }
  // Progressive at 128: max(127 * a / 128, b) per component.
  EXPECT_EQ(MixPixel({255, 255, 255}, {0, 0, 0}, {.fade = 128}), (Px{253, 253, 253}));
  EXPECT_EQ(MixPixel({200, 10, 0}, {100, 20, 254}, {.fade = 128}), (Px{198, 20, 254}));
  // Linear at 128 adds both halves: 100 * 127 / 255 + 50 * 128 / 255, each truncated.
  EXPECT_EQ(MixPixel({255, 255, 255}, {255, 255, 255}, {.mode = kMixLinear, .fade = 128}), (Px{255, 255, 255}));
  EXPECT_EQ(MixPixel({100, 0, 0}, {50, 0, 0}, {.mode = kMixLinear, .fade = 128})[0], 49 + 25);
}

TEST(MixFrames, ShapeAndIntensityShowTheOtherInputWhereAndAsBrightAsTheKeyIsLit) {
  for (int fade : {0, 255}) {
    EXPECT_EQ(MixPixel({0, 0, 0}, {90, 150, 255}, {.mode = kMixShapeOfA, .fade = fade}), (Px{0, 0, 0}));
    EXPECT_EQ(MixPixel({0, 0, 1}, {90, 150, 255}, {.mode = kMixShapeOfA, .fade = fade}), (Px{90, 150, 255}));
    EXPECT_EQ(MixPixel({90, 150, 255}, {0, 0, 0}, {.mode = kMixShapeOfB, .fade = fade}), (Px{0, 0, 0}));
  }
  EXPECT_EQ(MixPixel({255, 255, 255}, {7, 128, 254}, {.mode = kMixIntensityOfA}), (Px{7, 128, 254}));
  // L = (0 + 0 + 6) / 6 = 1: only a full component survives, as 1.
  EXPECT_EQ(MixPixel({0, 0, 6}, {255, 254, 100}, {.mode = kMixIntensityOfA}), (Px{1, 0, 0}));
  EXPECT_EQ(MixPixel({0, 0, 5}, {255, 255, 255}, {.mode = kMixIntensityOfA}), (Px{0, 0, 0}));
  EXPECT_EQ(MixPixel({7, 128, 254}, {255, 255, 255}, {.mode = kMixIntensityOfB}), (Px{7, 128, 254}));
}

TEST(MixFrames, OverlayPutsTheLitKeyOnTopUnlessItsWeightIsZero) {
  // Fade 255: wA = 0, so A is never on top and B shows at full weight.
  EXPECT_EQ(MixPixel({255, 255, 255}, {10, 20, 30}, {.mode = kMixOverlayA, .fade = 255}), (Px{10, 20, 30}));
  EXPECT_EQ(MixPixel({255, 255, 255}, {10, 20, 30}, {.mode = kMixOverlayBorderA, .fade = 255}), (Px{10, 20, 30}));
  EXPECT_EQ(MixPixel({255, 255, 255}, {10, 20, 30}, {.mode = kMixOverlayA}), (Px{255, 255, 255}));
  // Lower overlay at fade 0: wB = 0, so A shows; an inverted black A is white and covers B.
  EXPECT_EQ(MixPixel({10, 20, 30}, {255, 255, 255}, {.mode = kMixOverlayB}), (Px{10, 20, 30}));
  EXPECT_EQ(MixPixel({0, 0, 0}, {10, 20, 30}, {.mode = kMixOverlayA, .invertA = true}), (Px{255, 255, 255}));
}

TEST(MixFrames, BorderOverlayBlocksStopAtRowEndsAndFrameEdges) {
  // A lit only at (3, 0), fade 128 (wA = 127, wB = 128): (0, 1) follows it in
  // memory but is not a neighbour, so B shows there; (2, 1) shows A's black rim.
  Frame a = Filled(4, 4, {0, 0, 0});
  a[9] = 200;
  const Frame b = Filled(4, 4, {10, 20, 30});
  const Frame out = Mix(a, b, 4, 4, {.mode = kMixOverlayBorderA, .fade = 128});
  EXPECT_EQ((std::vector<int>{out[12], out[18], out[9], out[45]}), (std::vector<int>{10, 0, 198, 10}));

  // With inversion a black pixel among (255, 255, 254) neighbours sums to its
  // neighbour count: 3 at corners, 5 at edges, 8 inside. With wA = 32 the
  // test needs 4, with wA = 25 it needs 6.
  struct Case {
    int x, y;
    bool shownAtWeight32, shownAtWeight25;
  };
  for (const Case& c : {Case{0, 0, false, false}, Case{3, 3, false, false}, Case{1, 0, true, false},
                        Case{0, 2, true, false}, Case{1, 1, true, true}, Case{2, 2, true, true}}) {
    Frame key = Filled(4, 4, {255, 255, 254});
    const size_t at = size_t(c.y * 4 + c.x) * 3;
    key[at] = key[at + 1] = key[at + 2] = 0;
    for (int weight : {32, 25}) {
      const Frame mixed = Mix(key, b, 4, 4, {.mode = kMixOverlayBorderA, .fade = 255 - weight, .invertA = true});
      const bool shown = weight == 32 ? c.shownAtWeight32 : c.shownAtWeight25;
      // A on top: the inverted black pixel, white, at weight w: 255 * w / 128.
      EXPECT_EQ(mixed[at], shown ? 255 * weight / 128 : 10) << c.x << "," << c.y << " weight " << weight;
    }
  }
}

TEST(MixFrames, MasterZeroIsBlackAndOutOfRangeInputsActAsTheNearestValidOnes) {
  std::mt19937 rng(5);
  const Frame a = RandomFrame(rng, 5, 7), b = RandomFrame(rng, 5, 7);
  for (int mode = 0; mode < kMixModeCount; ++mode)
    EXPECT_EQ(Mix(a, b, 5, 7, {.mode = mode, .fade = 100, .master = 0}), Frame(a.size(), 0)) << "mode " << mode;
  EXPECT_EQ(Mix(a, b, 5, 7, {.mode = 12, .fade = 300, .master = 999}), Mix(a, b, 5, 7, {.fade = 255}));
  EXPECT_EQ(Mix(a, b, 5, 7, {.mode = -1, .fade = -40, .master = -3}), Frame(a.size(), 0));
}

TEST(MixFrames, MatchesTheReferenceForEveryModeFadeInversionSizeAndKernelSet) {
  std::mt19937 rng(12345);
  // One mixer of each kind throughout, so stale tables or scratch would show.
  // On a processor without wide vector units both are the portable one.
  Mixer fastest(MixerKernels::kFastest), portable(MixerKernels::kPortable);
  const float gammas[] = {1.0f, 2.0f, GammaFromSetting(45), GammaFromSetting(1), 5.0f};
  const int masters[] = {255, 254, 128, 0};
  int variant = 0;
  // Sizes below, at and above whole 64-pixel blocks, single rows and columns.
  for (auto [width, height] : {std::pair{4, 4}, std::pair{5, 7}, std::pair{32, 16}, std::pair{1, 5}, std::pair{1, 1},
                               std::pair{67, 5}, std::pair{64, 3}, std::pair{130, 1}}) {
    const Frame a = RandomFrame(rng, width, height), b = RandomFrame(rng, width, height);
    for (int mode = -1; mode <= 10; ++mode) {
      for (int fade : {0, 1, 5, 64, 127, 128, 129, 200, 250, 254, 255}) {
        for (int inv = 0; inv < 4; ++inv, ++variant) {
          const MixParams p{mode, fade, masters[variant % 4], (inv & 1) != 0, (inv & 2) != 0, gammas[variant / 4 % 5]};
          const Frame expected = ReferenceMix(a, b, width, height, p);
          for (Mixer* mixer : {&fastest, &portable}) {
            const std::string what = std::string(mixer == &fastest ? "fastest" : "portable") + " mode " +
                                     std::to_string(mode) + " fade " + std::to_string(fade) + " master " +
                                     std::to_string(p.master) + " invert " + std::to_string(inv) + " gamma " +
                                     std::to_string(p.gamma) + " size " + std::to_string(width) + "x" +
                                     std::to_string(height);
            Frame out(a.size(), 0x5A), inPlaceA = a, inPlaceB = b;  // mixing into an input's own buffer too
            mixer->MixFrames(a.data(), b.data(), out.data(), width, height, p);
            mixer->MixFrames(inPlaceA.data(), b.data(), inPlaceA.data(), width, height, p);
            mixer->MixFrames(a.data(), inPlaceB.data(), inPlaceB.data(), width, height, p);
            ASSERT_EQ(out, expected) << what;
            ASSERT_EQ(inPlaceA, expected) << "dst == a, " << what;
            ASSERT_EQ(inPlaceB, expected) << "dst == b, " << what;
          }
        }
      }
    }
  }
}

TEST(Gamma, SettingIsClampedHundredthsThatLiftMidGreyAndDamagedValuesStayDefined) {
  EXPECT_EQ(GammaFromSetting(100), 1.0f);
  EXPECT_EQ(GammaFromSetting(200), 2.0f);
  EXPECT_EQ(GammaFromSetting(45), static_cast<float>(0.45));
  EXPECT_EQ(GammaFromSetting(0), GammaFromSetting(1));
  EXPECT_EQ(GammaFromSetting(9999), 5.0f);
  // Gamma 2 lifts mid grey to 180 and keeps black and white; with master 128: 180 * 128 / 255.
  EXPECT_EQ(MixPixel({128, 0, 255}, {0, 0, 0}, {.gamma = GammaFromSetting(200)}), (Px{180, 0, 255}));
  EXPECT_EQ(MixPixel({128, 0, 255}, {0, 0, 0}, {.master = 128, .gamma = 2.0f}), (Px{90, 0, 128}));
  // Gamma 0: the exponent is infinite, every component below 255 goes black.
  EXPECT_EQ(MixPixel({128, 0, 255}, {0, 0, 0}, {.gamma = 0.0f}), (Px{0, 0, 255}));
  EXPECT_EQ(MixPixel({128, 0, 255}, {0, 0, 0}, {.gamma = -2.0f}), (Px{255, 255, 255}));
  EXPECT_EQ(MixPixel({128, 0, 255}, {0, 0, 0}, {.gamma = std::nanf("")}), (Px{0, 0, 255}));
}

}  // namespace
}  // namespace quor
