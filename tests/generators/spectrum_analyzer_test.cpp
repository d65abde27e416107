#include "generators/spectrum_analyzer.h"

#include "audio/audio_analyzer.h"
#include "generator_rig.h"

namespace quor {
namespace {

using Spectrum = std::array<int16_t, kSpectrumBins>;

// Bins are 1-based in the band tables below: band k range {first, last} covers spectrum bins first + 1 .. last + 1.
TEST(SpectrumAnalyzer, BandsCoverLogarithmicBinRanges) {
  struct Case { int bands; std::vector<std::pair<int, int>> bins; };
  const Case cases[] = {
      {10, {{2, 2}, {3, 3}, {4, 4}, {5, 7}, {8, 12}, {13, 22}, {23, 41}, {42, 75}, {76, 138}, {139, 255}}},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<int, int>> got;
    for (const SpectrumBandRange& r : SpectrumBandRanges(c.bands)) got.push_back({r.first + 1, r.last + 1});
    EXPECT_EQ(got, c.bins) << c.bands << " bands";
  }
  for (const SpectrumBandRange& r : SpectrumBandRanges(320)) EXPECT_LE(r.last, 254);  // never past bin 255
  EXPECT_EQ((std::array{DefaultSpectrumBands(40), DefaultSpectrumBands(10), DefaultSpectrumBands(300)}),
            (std::array{13, 4, 64}));
  // A scene with 30 bands loaded onto a 20-column matrix gets 20; a damaged count below 4 gets 4.
  test::Rig<SpectrumAnalyzerGenerator> rig(20, 8);
  for (auto [stored, want] : {std::pair{30, 20}, {-5, 4}}) {
    test::LoadWords(rig.gen, {1, stored, 1, 69, 82, 20});
    EXPECT_EQ(rig.gen.bands(), want) << stored;
    rig.Render();
  }
}

// 8 x 4 matrix, 4 bands of 2 columns (1 lit, 1 gap), gain 20. Band heights are trunc(2 v / ((4 - i) * 160)); rows
// from the bottom: 0, 1 base, 2 mid (4 * 69 / 100), 3 peak (4 * 82 / 100); peak dots are 2/3 of the row colour.
TEST(SpectrumAnalyzer, BarsGoldenFrame) {
  test::Rig<SpectrumAnalyzerGenerator> rig(8, 4);
  Spectrum spectrum{};
  spectrum[2] = 240;  // band 0: height 0
  spectrum[5] = 480;  // band 1 (bins 3..7): height 2
  spectrum[30] = 200; // band 2 (bins 8..41): height 1
  spectrum[100] = 500;  // band 3 (bins 42..255): height 6, peak dot at the top row
  rig.frame.Fill(0x5A);
  rig.gen.RenderSpectrum(spectrum.data(), rig.frame.bytes.data(), 8, 4);

  const Rgb k{}, base{0, 255, 0}, mid{255, 255, 0}, dotBase{0, 170, 0}, dotMid{170, 170, 0}, dotPeak{170, 0, 0};
  const Rgb want[4][8] = {
      {k, k, k, k, k, k, dotPeak, k},
      {k, k, dotMid, k, k, k, mid, k},
      {k, k, base, k, dotBase, k, base, k},
      {dotBase, k, base, k, base, k, base, k},
  };
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(rig.At(x, y), want[y][x]) << x << "," << y;
}

TEST(SpectrumAnalyzer, LevelsFallByAQuarterAndPeaksHoldTenFrames) {
  test::Rig<SpectrumAnalyzerGenerator> rig(8, 4);
  Spectrum loud{}, silent{};
  loud[100] = 500;
  std::vector<int> levels;
  for (int n = 0; n < 11; ++n) {
    rig.gen.RenderSpectrum(n == 0 ? loud.data() : silent.data(), rig.frame.bytes.data(), 8, 4);
    levels.push_back(rig.gen.level(3));
  }
  EXPECT_EQ(rig.gen.peak(3), 500);
  EXPECT_EQ(std::vector<int>(levels.begin(), levels.begin() + 4), (std::vector<int>{500, 375, 281, 210}));
  rig.gen.RenderSpectrum(silent.data(), rig.frame.bytes.data(), 8, 4);
  int x = rig.gen.level(3);  // four halvings towards the peak from the level
  for (int n = 0; n < 4; ++n) x = (x + 500) / 2;
  EXPECT_EQ(rig.gen.peak(3), x);
}

TEST(SpectrumAnalyzer, LineModeInSilenceDrawsTheBaselineInThePeakColour) {
  test::Rig<SpectrumAnalyzerGenerator> rig(12, 5);
  rig.gen.SetLineMode(true), rig.gen.SetLineFill(true);
  Spectrum silent{};
  rig.gen.RenderSpectrum(silent.data(), rig.frame.bytes.data(), 12, 5);
  for (int x = 0; x < 12; ++x) EXPECT_EQ(rig.At(x, 4), (Rgb{255, 0, 0})) << x;
  EXPECT_EQ(rig.frame.LitCount(), 12);
}

}  // namespace
}  // namespace quor
