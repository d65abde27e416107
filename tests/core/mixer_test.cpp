#include "core/mixer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace quor {
namespace {

using Frame = std::vector<uint8_t>;

Frame Filled(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
  Frame f(static_cast<size_t>(width * height) * 3);
  for (size_t i = 0; i < f.size(); i += 3) {
    f[i] = r;
    f[i + 1] = g;
    f[i + 2] = b;
  }
  return f;
}

Frame Mix(const Frame& a, const Frame& b, int width, int height, const MixParams& p) {
  Mixer mixer;
  Frame dst(a.size(), 0x5A);
  mixer.MixFrames(a.data(), b.data(), dst.data(), width, height, p);
  return dst;
}

// One pixel of a 4x4 mix of uniform frames.
std::vector<int> MixPixel(std::vector<int> a, std::vector<int> b, const MixParams& p) {
  const Frame out = Mix(Filled(4, 4, static_cast<uint8_t>(a[0]), static_cast<uint8_t>(a[1]), static_cast<uint8_t>(a[2])),
                        Filled(4, 4, static_cast<uint8_t>(b[0]), static_cast<uint8_t>(b[1]), static_cast<uint8_t>(b[2])),
                        4, 4, p);
  return {out[15], out[16], out[17]};
}

MixParams Params(int mode, int fade) {
  MixParams p;
  p.mode = mode;
  p.fade = fade;
  return p;
}

// The mix written out straight from the formulas, one pixel and one
// component at a time, with pow per component.
Frame ReferenceMix(const Frame& frameA, const Frame& frameB, int width, int height, const MixParams& p) {
  const int mode = p.mode < 0 || p.mode > 9 ? 0 : p.mode;
  const int f = std::clamp(p.fade, 0, 255);
  const int master = std::clamp(p.master, 0, 255);
  const int wA = f > 127 ? 255 - f : 128;
  const int wB = f > 127 ? 128 : f;
  auto at = [&](const Frame& fr, int x, int y, int c) { return int{fr[static_cast<size_t>((y * width + x) * 3 + c)]}; };
  auto borderSum = [&](const Frame& fr, bool invert, int x, int y) {
    int sum = 0;
    int n = 0;
    for (int yy = y - 1; yy <= y + 1; ++yy) {
      for (int xx = x - 1; xx <= x + 1; ++xx) {
        if (xx < 0 || yy < 0 || xx >= width || yy >= height) continue;
        ++n;
        for (int c = 0; c < 3; ++c) {
          const int v = at(fr, xx, yy, c);
          sum += (xx == x && yy == y && invert) ? 255 - v : v;
        }
      }
    }
    return invert ? n * 765 - sum : sum;
  };
  Frame out(frameA.size());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int a[3];
      int b[3];
      for (int c = 0; c < 3; ++c) {
        a[c] = p.invertA ? 255 - at(frameA, x, y, c) : at(frameA, x, y, c);
        b[c] = p.invertB ? 255 - at(frameB, x, y, c) : at(frameB, x, y, c);
      }
      const int sumA = a[0] + a[1] + a[2];
      const int sumB = b[0] + b[1] + b[2];
      const int la = (2 * a[0] + 3 * a[1] + a[2]) / 6;
      const int lb = (2 * b[0] + 3 * b[1] + b[2]) / 6;
      const int sa = borderSum(frameA, p.invertA, x, y);
      const int sb = borderSum(frameB, p.invertB, x, y);
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
        if (p.gamma != 1.0f) {
          const float inverse = 1.0f / p.gamma;
          v = static_cast<int>(std::pow(v / 255.0, static_cast<double>(inverse)) * 255.0);
        }
        out[static_cast<size_t>((y * width + x) * 3 + c)] = static_cast<uint8_t>(master * v / 255);
      }
    }
  }
  return out;
}

// Mostly black, dim, near-white and random pixels, so every threshold in the
// modes is met and missed somewhere.
Frame RandomFrame(std::mt19937& rng, int width, int height) {
  Frame f(static_cast<size_t>(width * height) * 3);
  std::uniform_int_distribution<int> kind(0, 9);
  std::uniform_int_distribution<int> any(0, 255);
  std::uniform_int_distribution<int> small(0, 3);
  for (size_t i = 0; i < f.size(); i += 3) {
    const int k = kind(rng);
    for (size_t c = 0; c < 3; ++c) {
      int v = 0;
      if (k >= 4 && k < 6) v = small(rng);
      if (k >= 6 && k < 8) v = 255 - small(rng);
      if (k >= 8) v = any(rng);
      f[i + c] = static_cast<uint8_t>(v);
    }
  }
  return f;
}

std::string Describe(const MixParams& p, int width, int height) {
  return "mode " + std::to_string(p.mode) + " fade " + std::to_string(p.fade) + " master " +
         std::to_string(p.master) + " invert " + std::to_string(p.invertA) + std::to_string(p.invertB) +
         " gamma " + std::to_string(p.gamma) + " size " + std::to_string(width) + "x" + std::to_string(height);
}

// Index of the first differing byte, or -1.
long FirstDifference(const Frame& x, const Frame& y) {
  for (size_t i = 0; i < x.size(); ++i) {
    if (x[i] != y[i]) return static_cast<long>(i);
  }
  return -1;
}

TEST(MixFrames, ProgressiveAndLinearPassAAtFade0AndBAtFade255) {
  std::mt19937 rng(7);
  const Frame a = RandomFrame(rng, 5, 7);
  const Frame b = RandomFrame(rng, 5, 7);
  for (int mode : {kMixProgressive, kMixLinear}) {
    EXPECT_EQ(Mix(a, b, 5, 7, Params(mode, 0)), a) << "mode " << mode;
    EXPECT_EQ(Mix(a, b, 5, 7, Params(mode, 255)), b) << "mode " << mode;
  }
}

TEST(MixFrames, ProgressiveAtFade128KeepsTheBrighterOfScaledAAndB) {
  EXPECT_EQ(MixPixel({255, 255, 255}, {0, 0, 0}, Params(kMixProgressive, 128)),
            (std::vector<int>{253, 253, 253}));
  // max(127 * a / 128, b) per component.
  EXPECT_EQ(MixPixel({200, 10, 0}, {100, 20, 254}, Params(kMixProgressive, 128)),
            (std::vector<int>{198, 20, 254}));
}

TEST(MixFrames, LinearAtFade128AddsBothHalves) {
  EXPECT_EQ(MixPixel({255, 255, 255}, {255, 255, 255}, Params(kMixLinear, 128)),
            (std::vector<int>{255, 255, 255}));
  // 100 * 127 / 255 + 50 * 128 / 255, each truncated.
  EXPECT_EQ(MixPixel({100, 0, 0}, {50, 0, 0}, Params(kMixLinear, 128))[0], 49 + 25);
}

TEST(MixFrames, ShapeShowsTheOtherInputOnlyWhereTheKeyIsLit) {
  for (int fade : {0, 128, 255}) {
    EXPECT_EQ(MixPixel({0, 0, 0}, {90, 150, 255}, Params(kMixShapeOfA, fade)), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(MixPixel({0, 0, 1}, {90, 150, 255}, Params(kMixShapeOfA, fade)), (std::vector<int>{90, 150, 255}));
    EXPECT_EQ(MixPixel({90, 150, 255}, {0, 0, 0}, Params(kMixShapeOfB, fade)), (std::vector<int>{0, 0, 0}));
  }
}

TEST(MixFrames, IntensityScalesTheOtherInputByTheKeyBrightness) {
  EXPECT_EQ(MixPixel({255, 255, 255}, {7, 128, 254}, Params(kMixIntensityOfA, 0)),
            (std::vector<int>{7, 128, 254}));
  // L = (0 + 0 + 6) / 6 = 1: only a full component survives, as 1.
  EXPECT_EQ(MixPixel({0, 0, 6}, {255, 254, 100}, Params(kMixIntensityOfA, 0)), (std::vector<int>{1, 0, 0}));
  EXPECT_EQ(MixPixel({0, 0, 5}, {255, 255, 255}, Params(kMixIntensityOfA, 0)), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(MixPixel({7, 128, 254}, {255, 255, 255}, Params(kMixIntensityOfB, 0)),
            (std::vector<int>{7, 128, 254}));
}

TEST(MixFrames, OverlayPutsTheLitKeyOnTopUnlessItsWeightIsZero) {
  // Fade 255: wA = 0, so A is never on top and B shows at full weight.
  EXPECT_EQ(MixPixel({255, 255, 255}, {10, 20, 30}, Params(kMixOverlayA, 255)), (std::vector<int>{10, 20, 30}));
  EXPECT_EQ(MixPixel({255, 255, 255}, {10, 20, 30}, Params(kMixOverlayBorderA, 255)),
            (std::vector<int>{10, 20, 30}));
  EXPECT_EQ(MixPixel({255, 255, 255}, {10, 20, 30}, Params(kMixOverlayA, 0)), (std::vector<int>{255, 255, 255}));
  // Lower overlay at fade 0: wB = 0, so A shows.
  EXPECT_EQ(MixPixel({10, 20, 30}, {255, 255, 255}, Params(kMixOverlayB, 0)), (std::vector<int>{10, 20, 30}));
  // An inverted black A is white and covers B completely.
  MixParams p = Params(kMixOverlayA, 0);
  p.invertA = true;
  EXPECT_EQ(MixPixel({0, 0, 0}, {10, 20, 30}, p), (std::vector<int>{255, 255, 255}));
}

TEST(MixFrames, BorderOverlayDrawsKeyPixelsNextToLitOnesWithoutWrappingRows) {
  // 4x4, A lit only at (3, 0). (0, 1) follows it in memory but is not a
  // neighbour, so B must show there; (2, 1) is a neighbour and shows A.
  // Fade 128: wA = 127, wB = 128.
  Frame a = Filled(4, 4, 0, 0, 0);
  a[9] = 200;
  const Frame b = Filled(4, 4, 10, 20, 30);
  const Frame out = Mix(a, b, 4, 4, Params(kMixOverlayBorderA, 128));
  EXPECT_EQ(out[12], 10);  // (0, 1): B
  EXPECT_EQ(out[18], 0);   // (2, 1): black rim of A
  EXPECT_EQ(out[9], 198);  // (3, 0): A itself, 200 * 127 / 128
  EXPECT_EQ(out[(3 * 4 + 3) * 3], 10);
}

TEST(MixFrames, BorderBlocksHoldFourPixelsAtCornersSixAtEdgesNineInside) {
  // With inversion the block sum comes to: the pixel as stored plus its
  // neighbours inverted. A black pixel among (255, 255, 254) neighbours thus
  // sums to the number of its neighbours: 3, 5 or 8. With wA = 32 the test
  // needs 4, with wA = 25 it needs 6.
  const Frame b = Filled(4, 4, 10, 20, 30);
  struct Case {
    int x, y;
    bool shownAtWeight32, shownAtWeight25;
  };
  for (const Case& c : {Case{0, 0, false, false}, Case{3, 3, false, false}, Case{1, 0, true, false},
                        Case{0, 2, true, false}, Case{1, 1, true, true}, Case{2, 2, true, true}}) {
    Frame a = Filled(4, 4, 255, 255, 254);
    const size_t at = static_cast<size_t>(c.y * 4 + c.x) * 3;
    a[at] = a[at + 1] = a[at + 2] = 0;
    for (int weight : {32, 25}) {
      MixParams p = Params(kMixOverlayBorderA, 255 - weight);
      p.invertA = true;
      const Frame out = Mix(a, b, 4, 4, p);
      const bool shown = weight == 32 ? c.shownAtWeight32 : c.shownAtWeight25;
      // A on top: the inverted black pixel, white, at weight w: 255 * w / 128.
      EXPECT_EQ(out[at], shown ? 255 * weight / 128 : 10) << "pixel " << c.x << "," << c.y << " weight " << weight;
    }
  }
}

TEST(MixFrames, MasterZeroGivesBlackInEveryMode) {
  std::mt19937 rng(3);
  const Frame a = RandomFrame(rng, 5, 7);
  const Frame b = RandomFrame(rng, 5, 7);
  for (int mode = 0; mode < kMixModeCount; ++mode) {
    MixParams p = Params(mode, 100);
    p.master = 0;
    EXPECT_EQ(Mix(a, b, 5, 7, p), Frame(a.size(), 0)) << "mode " << mode;
  }
}

TEST(MixFrames, OutOfRangeInputsActAsTheNearestValidOnes) {
  std::mt19937 rng(5);
  const Frame a = RandomFrame(rng, 5, 7);
  const Frame b = RandomFrame(rng, 5, 7);
  MixParams wild = Params(12, 300);
  wild.master = 999;
  EXPECT_EQ(Mix(a, b, 5, 7, wild), Mix(a, b, 5, 7, Params(kMixProgressive, 255)));
  wild = Params(-1, -40);
  wild.master = -3;
  EXPECT_EQ(Mix(a, b, 5, 7, wild), Frame(a.size(), 0));
}

TEST(MixFrames, MatchesTheReferenceForEveryModeFadeInversionAndSize) {
  std::mt19937 rng(12345);
  Mixer mixer;  // one mixer throughout, so stale tables or scratch would show
  const float gammas[] = {1.0f, 2.0f, GammaFromSetting(45), GammaFromSetting(1), 5.0f};
  const int masters[] = {255, 254, 128, 0};
  int variant = 0;
  for (auto [width, height] : {std::pair{4, 4}, std::pair{5, 7}, std::pair{32, 16}, std::pair{1, 5}}) {
    const Frame a = RandomFrame(rng, width, height);
    const Frame b = RandomFrame(rng, width, height);
    for (int mode = -1; mode <= 10; ++mode) {
      for (int fade : {0, 1, 5, 64, 127, 128, 129, 200, 250, 254, 255}) {
        for (int inv = 0; inv < 4; ++inv) {
          MixParams p = Params(mode, fade);
          p.invertA = (inv & 1) != 0;
          p.invertB = (inv & 2) != 0;
          p.master = masters[variant % 4];
          p.gamma = gammas[(variant / 4) % 5];
          ++variant;
          const Frame expected = ReferenceMix(a, b, width, height, p);
          Frame out(a.size(), 0x5A);
          mixer.MixFrames(a.data(), b.data(), out.data(), width, height, p);
          long diff = FirstDifference(out, expected);
          ASSERT_EQ(diff, -1) << Describe(p, width, height) << ": byte " << diff << " is "
                              << int{out[static_cast<size_t>(diff)]} << ", expected "
                              << int{expected[static_cast<size_t>(diff)]};
          // Mixing into an input's own buffer gives the same picture.
          Frame inPlaceA = a;
          mixer.MixFrames(inPlaceA.data(), b.data(), inPlaceA.data(), width, height, p);
          ASSERT_EQ(FirstDifference(inPlaceA, expected), -1) << "dst == a, " << Describe(p, width, height);
          Frame inPlaceB = b;
          mixer.MixFrames(a.data(), inPlaceB.data(), inPlaceB.data(), width, height, p);
          ASSERT_EQ(FirstDifference(inPlaceB, expected), -1) << "dst == b, " << Describe(p, width, height);
        }
      }
    }
  }
}

TEST(Gamma, TwoLiftsMidGreyTo180AndKeepsBlackAndWhite) {
  MixParams p = Params(kMixProgressive, 0);
  p.gamma = GammaFromSetting(200);
  EXPECT_EQ(MixPixel({128, 0, 255}, {0, 0, 0}, p), (std::vector<int>{180, 0, 255}));
  // Gamma and master together: 180 * 128 / 255.
  p.master = 128;
  EXPECT_EQ(MixPixel({128, 0, 255}, {0, 0, 0}, p), (std::vector<int>{90, 0, 128}));
}

TEST(Gamma, SettingIsHundredthsClampedToTheSliderRange) {
  EXPECT_EQ(GammaFromSetting(100), 1.0f);
  EXPECT_EQ(GammaFromSetting(200), 2.0f);
  EXPECT_EQ(GammaFromSetting(45), static_cast<float>(0.45));
  EXPECT_EQ(GammaFromSetting(0), GammaFromSetting(1));
  EXPECT_EQ(GammaFromSetting(9999), 5.0f);
}

TEST(Gamma, DamagedValuesStillGiveDefinedBytes) {
  // Gamma 0: the exponent is infinite, every component below 255 goes black.
  MixParams p = Params(kMixProgressive, 0);
  p.gamma = 0.0f;
  EXPECT_EQ(MixPixel({128, 0, 255}, {0, 0, 0}, p), (std::vector<int>{0, 0, 255}));
  p.gamma = -2.0f;
  EXPECT_EQ(MixPixel({128, 0, 255}, {0, 0, 0}, p), (std::vector<int>{255, 255, 255}));
  p.gamma = std::nanf("");
  EXPECT_EQ(MixPixel({128, 0, 255}, {0, 0, 0}, p), (std::vector<int>{0, 0, 255}));
}

}  // namespace
}  // namespace quor
