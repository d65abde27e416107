#include "core/mixer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
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

// The mix straight from the formulas, one pixel and component at a time, pow per component.
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

// Mostly black, dim, near-white and random pixels: every threshold is met and missed.
Frame RandomFrame(std::mt19937& rng, int width, int height) {
  Frame f;
  std::uniform_int_distribution<int> kind(0, 9), any(0, 255), small(0, 3);
  for (int i = 0; i < width * height; ++i) {
    const int k = kind(rng);
    for (int c = 0; c < 3; ++c) f.push_back(uint8_t(k < 4 ? 0 : k < 6 ? small(rng) : k < 8 ? 255 - small(rng) : any(rng)));
  }
  return f;
}

// Hand-computed pixels pin the reference's formulas, so a fault shared by both shows.
TEST(MixFrames, HandComputedPixelsOfEveryMode) {
  struct Case {
    const char* name;
    Px a, b;
    MixParams p;
    Px expect;
  };
  constexpr Px kWhite{255, 255, 255};
  const Case cases[] = {
      {"progressive 128, mixed", {200, 10, 0}, {100, 20, 254}, {.fade = 128}, {198, 20, 254}},
      {"linear 128 adds truncated halves", kWhite, kWhite, {.mode = kMixLinear, .fade = 128}, kWhite},
      {"linear: 100 * 127 / 255 + 50 * 128 / 255", {100}, {50}, {.mode = kMixLinear, .fade = 128}, {74, 0, 0}},
      {"shape of black A", {0, 0, 0}, {90, 150, 255}, {.mode = kMixShapeOfA, .fade = 255}, {0, 0, 0}},
      {"shape of barely lit A", {0, 0, 1}, {90, 150, 255}, {.mode = kMixShapeOfA}, {90, 150, 255}},
      {"intensity L = 1: a full component survives", {0, 0, 6}, {255, 254, 100}, {.mode = kMixIntensityOfA}, {1, 0, 0}},
      {"intensity L = 0", {0, 0, 5}, {255, 255, 255}, {.mode = kMixIntensityOfA}, {0, 0, 0}},
      {"intensity of white B", {7, 128, 254}, kWhite, {.mode = kMixIntensityOfB}, {7, 128, 254}},
      {"border overlay, wA = 0", kWhite, {10, 20, 30}, {.mode = kMixOverlayBorderA, .fade = 255}, {10, 20, 30}},
      {"overlay, lit A on top", {255, 255, 255}, {10, 20, 30}, {.mode = kMixOverlayA}, {255, 255, 255}},
      {"lower overlay, wB = 0: A shows", {10, 20, 30}, kWhite, {.mode = kMixOverlayB}, {10, 20, 30}},
      {"inverted black A covers B", {}, {10, 20, 30}, {.mode = kMixOverlayA, .invertA = true}, kWhite},
      {"gamma 2 lifts mid grey", {128, 0, 255}, {0, 0, 0}, {.gamma = GammaFromSetting(200)}, {180, 0, 255}},
      {"gamma 2, master 128: 180 * 128 / 255", {128, 0, 255}, {}, {.master = 128, .gamma = 2.0f}, {90, 0, 128}},
      {"gamma 0: infinite exponent", {128, 0, 255}, {0, 0, 0}, {.gamma = 0.0f}, {0, 0, 255}},
      {"gamma setting 9999 acts as 5", {128, 0, 255}, {}, {.gamma = GammaFromSetting(9999)}, {222, 0, 255}},
      {"negative gamma", {128, 0, 255}, {0, 0, 0}, {.gamma = -2.0f}, {255, 255, 255}},
      {"NaN gamma", {128, 0, 255}, {0, 0, 0}, {.gamma = std::nanf("")}, {0, 0, 255}},
  };
  for (const Case& c : cases) EXPECT_EQ(MixPixel(c.a, c.b, c.p), c.expect) << c.name;
}

TEST(MixFrames, BorderOverlayBlocksStopAtRowEnds) {
  // A lit only at (3, 0), fade 128 (wA = 127, wB = 128): (0, 1) follows it in
  // memory but is not a neighbour, so B shows there; (2, 1) shows A's black
  // rim. Edges and corners with inversion are the reference's.
  Frame a = Filled(4, 4, {0, 0, 0});
  a[9] = 200;
  const Frame out = Mix(a, Filled(4, 4, {10, 20, 30}), 4, 4, {.mode = kMixOverlayBorderA, .fade = 128});
  EXPECT_EQ((std::vector<int>{out[12], out[18], out[9], out[45]}), (std::vector<int>{10, 0, 198, 10}));
}

TEST(MixFrames, OutOfRangeInputsActAsTheNearestValidOnes) {
  std::mt19937 rng(5);
  const Frame a = RandomFrame(rng, 5, 7), b = RandomFrame(rng, 5, 7);
  EXPECT_EQ(Mix(a, b, 5, 7, {.mode = 12, .fade = 300, .master = 999}), Mix(a, b, 5, 7, {.fade = 255}));
  EXPECT_EQ(Mix(a, b, 5, 7, {.mode = -1, .fade = -40, .master = -3}), Frame(a.size(), 0));
}

TEST(MixFrames, MatchesTheReferenceForEveryModeFadeInversionSizeAndKernelSet) {
  std::mt19937 rng(12345);
  // One mixer of each kind throughout, so stale tables or scratch would show.
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
          SCOPED_TRACE(testing::Message() << "mode " << mode << " fade " << fade << " master " << p.master << " invert "
                                          << inv << " gamma " << p.gamma << " size " << width << "x" << height);
          for (Mixer* mixer : {&fastest, &portable}) {
            const char* what = mixer == &fastest ? "fastest" : "portable";
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

}  // namespace
}  // namespace quor
