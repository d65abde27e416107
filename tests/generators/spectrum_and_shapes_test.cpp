#include "generators/spectrum_analyzer.h"
#include "generators/expanding_shapes.h"

#include <cstring>

#include "audio/audio_analyzer.h"
#include "generator_rig.h"

namespace quor {
namespace {

using Spectrum = std::array<int16_t, kSpectrumBins>;

// Bins are 1-based in the band tables below: band k range {first, last} covers spectrum bins first + 1 .. last + 1.
TEST(SpectrumAnalyzer, BandsCoverLogarithmicBinRanges) {
  struct Case { int bands; std::vector<std::pair<int, int>> bins; };
  const Case cases[] = {
      {10, {{2, 2}, {3, 3}, {4, 4}, {5, 7}, {8, 12}, {13, 22}, {23, 41}, {42, 75}, {76, 138}, {139, 255}}}};
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
  Spectrum spectrum{};  // band 0 height 0, band 1 (bins 3..7) 2, band 2 (bins 8..41) 1, band 3 6: peak dot on top
  spectrum[2] = 240, spectrum[5] = 480, spectrum[30] = 200, spectrum[100] = 500;
  rig.frame.Fill(0x5A);
  rig.gen.RenderSpectrum(spectrum.data(), {rig.frame.bytes.data(), 8, 4});

  const Rgb k{}, base{0, 255, 0}, mid{255, 255, 0}, dotBase{0, 170, 0}, dotMid{170, 170, 0}, dotPeak{170, 0, 0};
  const Rgb want[4][8] = {{k, k, k, k, k, k, dotPeak, k}, {k, k, dotMid, k, k, k, mid, k},
                          {k, k, base, k, dotBase, k, base, k}, {dotBase, k, base, k, base, k, base, k}};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(rig.At(x, y), want[y][x]) << x << "," << y;
}

TEST(SpectrumAnalyzer, LevelsFallByAQuarterAndPeaksHoldTenFrames) {
  test::Rig<SpectrumAnalyzerGenerator> rig(8, 4);
  Spectrum loud{}, silent{};
  loud[100] = 500;
  std::vector<int> levels;
  for (int n = 0; n < 11; ++n) {
    rig.gen.RenderSpectrum(n == 0 ? loud.data() : silent.data(), {rig.frame.bytes.data(), 8, 4});
    levels.push_back(rig.gen.level(3));
  }
  EXPECT_EQ(rig.gen.peak(3), 500);
  EXPECT_EQ(std::vector<int>(levels.begin(), levels.begin() + 4), (std::vector<int>{500, 375, 281, 210}));
  rig.gen.RenderSpectrum(silent.data(), {rig.frame.bytes.data(), 8, 4});
  int x = rig.gen.level(3);  // four halvings towards the peak from the level
  for (int n = 0; n < 4; ++n) x = (x + 500) / 2;
  EXPECT_EQ(rig.gen.peak(3), x);
}

TEST(SpectrumAnalyzer, LineModeInSilenceDrawsTheBaselineInThePeakColour) {
  test::Rig<SpectrumAnalyzerGenerator> rig(12, 5);
  rig.gen.SetLineMode(true), rig.gen.SetLineFill(true);
  Spectrum silent{};
  rig.gen.RenderSpectrum(silent.data(), {rig.frame.bytes.data(), 12, 5});
  for (int x = 0; x < 12; ++x) EXPECT_EQ(rig.At(x, 4), (Rgb{255, 0, 0})) << x;
  EXPECT_EQ(rig.frame.LitCount(), 12);
}

using Shapes = ExpandingShapesGenerator;

// Shapes in a fixed colour.
struct ShapesRig : test::Rig<Shapes> {
  ShapesRig(int w, int h, uint32_t seed = 7) : Rig(w, h, seed) { gen.SetAutoColorMode(0); }
  // Renders `frames` frames and adds up the lit pixels.
  int LitOver(int frames) {
    int n = 0;
    for (int i = 0; i < frames; ++i) Render(), n += frame.LitCount();
    return n;
  }
};

TEST(ExpandingShapesRender, ShapesWaitGrowFadeAndRespawn) {
  // 20 x 20: m = 20, s0 = (30 * 10) / 100 = 3, s1 = (10 * 117) / 100 = 11 (clipped past half the matrix), span = 9,
  // fade step = 255 / 9 = 28.
  ShapesRig rig(20, 20);
  rig.gen.SetCount(1);
  std::vector<int> reds;
  bool respawned = false;
  for (int frame = 0; frame < 60 && !respawned; ++frame) {
    const Shapes::ShapeRecord before = rig.gen.shapes()[0];
    const int lit = rig.LitOver(1);
    if (before.phase < 20) {  // still waiting: nothing drawn
      EXPECT_EQ(lit, 0) << "phase " << before.phase;
      respawned = !reds.empty();
      continue;
    }
    // Open rectangle of half-edge d around (x, y): a corner lit, the centre dark; every lit pixel in the shape's red.
    const int d = 3 + before.phase - 20;
    reds.push_back(*std::ranges::max_element(rig.frame.bytes));
    EXPECT_EQ(rig.At(before.x, before.y), Rgb{});
    EXPECT_TRUE(before.x + d >= 20 || before.y + d >= 20 || rig.At(before.x + d, before.y + d) != Rgb{});
  }
  // Phases 20..28 show: full red for 20 and 21, then 255 - (phase - 21) * 28; phase 29 = span + m respawns.
  EXPECT_EQ(reds, (std::vector<int>{255, 255, 227, 199, 171, 143, 115, 87, 59}));
  EXPECT_TRUE(respawned);
}

TEST(ExpandingShapesRender, AudioTriggerStartsOneShapePerRisingBeat) {
  ShapesRig rig(16, 16);
  rig.gen.SetAudioTrigger(true), rig.gen.SetCount(5);  // rebuild: every shape waits for a beat
  // Silence stays below the threshold 900: nothing shows, the index cycles.
  EXPECT_EQ(rig.LitOver(52), 0);
  EXPECT_EQ(rig.gen.nextTriggeredShape(), 52 % 5);
  // Threshold 0 fires in silence; only the rising edge starts a shape, the one the index points at (2).
  rig.gen.trigger().threshold = 0;
  EXPECT_GT(rig.LitOver(6), 0);
  for (size_t i = 0; i < rig.gen.shapes().size(); ++i)
    EXPECT_EQ(rig.gen.shapes()[i].phase != Shapes::kWaitingForBeat, i == 2) << i;
}

TEST(ExpandingShapesSettings, LoadRebuildsWaitingShapesAndRepairs) {
  ShapesRig rig(20, 20);  // 9 shapes waiting for a beat, random characters from "Hi"
  SettingsBlock block{};
  std::ranges::copy(test::LittleEndian({20, 100, 9, 3, 1, 0, 1, 3000, 40, 1200, 5, 60, 10, 20, 30}), block.begin());
  std::memcpy(&block[60], "Hi", 2);
  std::ranges::copy(test::LittleEndian({0, 1, 0, 1, 1}), block.begin() + 570);
  rig.gen.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(rig.gen.shapes().size(), 9u);
  for (const auto& s : rig.gen.shapes())
    EXPECT_TRUE(s.phase == Shapes::kWaitingForBeat && (s.character == 'H' || s.character == 'i'));
  // Damage: end not above start (span 0 would divide by zero), a count far out of range and a text without its NUL.
  std::ranges::copy(test::LittleEndian({0, -5, 100000}), block.begin());
  std::memset(&block[60], 'z', 255);
  rig.gen.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ((std::array{rig.gen.start(), rig.gen.end(), rig.gen.count()}), (std::array{1, 2, 100}));
  EXPECT_EQ(rig.gen.text(), std::string(254, 'z'));
  rig.gen.SetAudioTrigger(false);
  rig.LitOver(5);
  rig.gen.ExchangeSettings(block, SettingsDirection::kStore);
  EXPECT_EQ(block[60 + 254], 0);
}

}  // namespace
}  // namespace quor
