// The fast sine against libm on the phases the Plasma fields really take,
// and Plasma and Color Scroll "Spiral" and "Circle" frames (kept fields)
// against their plain libm formulas.
#include "generators/fast_trig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "generators/color_scroll.h"
#include "generators/plasma.h"
#include "generators/tuned_constants.h"
#include "test_support.h"

namespace quor {
namespace {

// The three Plasma phases of every pixel at time t, row by row: vertical,
// diagonal, rings (the formulas of the plain per-pixel render).
std::array<std::vector<double>, 3> PlasmaPhases(int width, int height, int zoom, double t) {
  const float z = static_cast<float>((60.0 * zoom / 100.0 + 2.0) / (3.505149978319906 - std::log10(std::max(width, height))));
  const double wave = 8.0 * z, ring = 32.0 * z;
  const double sinT = std::sin(t / 20), cosT = std::cos(t / 30);
  std::array<std::vector<double>, 3> phases;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      phases[0].push_back((t + x) * kTunedHalfTurn / wave);
      phases[1].push_back((sinT * x + cosT * y + t) * kTunedHalfTurn / wave);
      phases[2].push_back(std::sqrt(kTunedHalfTurn * ((x * x + y * y) * 100)) / ring + t * 0.2);
    }
  }
  return phases;
}

// TruncatedSineMagnitudes must give |trunc(255 sin x)| exactly, and FastSin
// stay inside its stated bound. Returns how many values needed std::sin.
int ExpectLibmIntegers(const std::vector<double>& args, double& maxError) {
  std::vector<int> fast(args.size());
  const int exact = TruncatedSineMagnitudes(args.data(), static_cast<int>(args.size()), 255.0, fast.data());
  for (size_t i = 0; i < args.size(); ++i) {
    const double libm = std::sin(args[i]);
    if (std::abs(args[i]) <= kFastTrigLimit) maxError = std::max(maxError, std::abs(FastSin(args[i]) - libm));
    if (fast[i] != std::abs(static_cast<int>(255.0 * libm))) ADD_FAILURE() << "sin(" << args[i] << ")";
  }
  return exact;
}

TEST(FastTrig, PlasmaPhasesAndNearStepArgumentsTruncateAsWithLibm) {
  double maxError = 0;
  size_t count = 0, exact = 0;
  // About 10^7 phases: sizes, zooms and times from the first frame to near
  // 2^25, past which the float time stops advancing; there the phases are
  // largest.
  for (auto [width, height] : {std::pair{128, 128}, {320, 51}, {64, 32}, {4, 4}}) {
    for (int zoom : {1, 30, 100}) {
      for (int j = 0; j < 32; ++j) {
        const float t = 0.01f + static_cast<float>(j * j * j) * 1013.37f;
        for (const auto& phases : PlasmaPhases(width, height, zoom, t)) {
          exact += ExpectLibmIntegers(phases, maxError);
          count += phases.size();
        }
      }
    }
  }
  EXPECT_GE(count, 10'000'000u);
  EXPECT_LT(exact, count / 10'000) << "values near an integer step";
  // The arguments nearest to every step of 255 sin x (and their neighbours a
  // few ulps away), shifted by whole turns up to the fast range's end, and
  // beyond it.
  std::vector<double> nearSteps;
  for (int n = -255; n <= 255; ++n) {
    for (double base : {std::asin(n / 255.0), std::numbers::pi - std::asin(n / 255.0)}) {
      for (double turns : {0.0, 1.0, -7.0, 1000.0, 5.3e6, 6e6}) {
        double x = base + turns * 2 * std::numbers::pi;
        for (int k = 0; k < 4; ++k) x = std::nextafter(x, -HUGE_VAL);
        for (int k = 0; k < 9; ++k, x = std::nextafter(x, HUGE_VAL)) nearSteps.push_back(x);
      }
    }
  }
  for (double x : {0.0, -0.0, 1e-300, kFastTrigLimit, -kFastTrigLimit, kFastTrigLimit * 1.5, 1e300}) nearSteps.push_back(x);
  ExpectLibmIntegers(nearSteps, maxError);
  // The bound fast_trig.h derives, checked against libm.
  EXPECT_LT(maxError, kFastTrigMaxError);

  // Cosine on the angles Color Scroll's spiral turns through.
  double maxCosError = 0;
  for (double a = -8; a < 16; a += 1.0 / 4096) maxCosError = std::max(maxCosError, std::abs(FastCos(a) - std::cos(a)));
  EXPECT_LT(maxCosError, kFastTrigMaxError);
}

TEST(FastTrig, PlasmaFramesEqualThePlainLibmFormula) {
  test::GeneratorHarness harness;
  PlasmaGenerator plasma(harness.context);
  const Palette256 palette = BuildPlasmaPalette(2);
  // 320 x 60 is larger than any matrix: its rings are not kept.
  for (auto [width, height] : {std::pair{128, 128}, {320, 51}, {320, 60}, {5, 9}}) {
    for (int style = 0; style < 4; ++style) {
      ASSERT_TRUE(plasma.Create(width, height));
      plasma.SetPalette(2), plasma.SetStyle(style), plasma.SetSpeed(100), plasma.SetZoom(1 + style * 33);
      std::vector<uint8_t> frame(size_t(width) * height * 3), want(frame.size());
      int exact = 0;
      for (int n = 0; n < 6; ++n) {
        plasma.Render({frame.data(), width, height});
        exact += plasma.lastExactSines();
        const auto phases = PlasmaPhases(width, height, plasma.zoom(), plasma.time());
        for (size_t i = 0; i < frame.size() / 3; ++i) {
          std::array<int, 3> c;
          for (size_t f = 0; f < 3; ++f) c[f] = std::abs(static_cast<int>(std::sin(phases[f][i]) * 255));
          const int index = style == 0 ? (c[0] + c[1] + c[2]) / 3 : c[size_t(style - 1)];
          const Rgb& rgb = palette[size_t(index)];
          want[3 * i] = uint8_t(rgb.r), want[3 * i + 1] = uint8_t(rgb.g), want[3 * i + 2] = uint8_t(rgb.b);
        }
        ASSERT_EQ(frame, want) << width << "x" << height << " style " << style << " frame " << n;
      }
    }
  }
}

TEST(FastTrig, SpiralFramesEqualThePlainLibmFormula) {
  test::GeneratorHarness harness;
  ColorScrollGenerator scroll(harness.context);
  for (auto [width, height] : {std::pair{128, 128}, {320, 51}, {7, 5}}) {
    for (int zoom : {1, 20, 100}) {
      ASSERT_TRUE(scroll.Create(width, height));
      scroll.SetStyle(9), scroll.SetSpeed(13), scroll.SetZoomPosition(100 - zoom);
      std::vector<uint8_t> frame(size_t(width) * height * 3), want(frame.size());
      const int hw = width / 2, hh = height / 2;
      const double g = static_cast<float>((4.005149978319906 - std::log10(std::max(width, height))) * zoom) / 10.0 / 3;
      for (int n = 0; n < 20; ++n) {  // a whole turn
        scroll.Render({frame.data(), width, height});
        const double turn = scroll.offset() / 162.0 * 3;
        for (int y = 0, i = 0; y < height; ++y) {
          for (int x = 0; x < width; ++x, ++i) {
            const int X = static_cast<int>(g * (x - hw)), Y = static_cast<int>(g * (y - hh));
            const int R = static_cast<int>(std::sqrt(X * X + Y * Y));
            const double outward = static_cast<double>(R) / width;
            const double angle = static_cast<float>(2 * std::atan2(Y, X) + outward * outward) + turn;
            const int u = std::abs(static_cast<int>(R * std::cos(angle))), w = std::abs(static_cast<int>(R * std::sin(angle)));
            const int k = std::max({u < hw ? hw - u : 0, w < hw ? hw - w : 0});
            const Rgb& rgb = scroll.paletteEntry(k * 63 / hw);
            want[3 * i] = uint8_t(rgb.r), want[3 * i + 1] = uint8_t(rgb.g), want[3 * i + 2] = uint8_t(rgb.b);
          }
        }
        ASSERT_EQ(frame, want) << width << "x" << height << " zoom " << zoom << " frame " << n;
      }
    }
  }
}

TEST(FastTrig, CircleFramesEqualThePlainFormulaAcrossSizeChanges) {
  test::GeneratorHarness harness;
  ColorScrollGenerator scroll(harness.context);
  ASSERT_TRUE(scroll.Create(128, 128));
  scroll.SetStyle(6), scroll.SetSpeed(7);
  // One generator through the sizes in turn, so the kept distances must follow every change; 320 x 60 is larger
  // than any matrix and computes them as it goes.
  for (auto [width, height] : {std::pair{128, 128}, {320, 51}, {320, 60}, {7, 5}, {1, 1}, {128, 128}}) {
    for (int zoom : {1, 20, 100}) {
      scroll.SetZoomPosition(100 - zoom);
      std::vector<uint8_t> frame(size_t(width) * height * 3), want(frame.size());
      const double f = static_cast<float>((4.005149978319906 - std::log10(std::max(width, height))) * zoom) / 10.0;
      for (int n = 0; n < 3; ++n) {
        scroll.Render({frame.data(), width, height});
        for (int y = 0, i = 0; y < height; ++y) {
          for (int x = 0; x < width; ++x, ++i) {
            const int dx = x - width / 2, dy = y - height / 2;
            const int index = static_cast<int>(std::sqrt(kTunedHalfTurn * (dx * dx + dy * dy)) * f + scroll.offset());
            const Rgb& rgb = scroll.paletteEntry(WrapColorScrollIndex(index));
            want[3 * i] = uint8_t(rgb.r), want[3 * i + 1] = uint8_t(rgb.g), want[3 * i + 2] = uint8_t(rgb.b);
          }
        }
        ASSERT_EQ(frame, want) << width << "x" << height << " zoom " << zoom << " frame " << n;
      }
    }
  }
}

}  // namespace
}  // namespace quor
