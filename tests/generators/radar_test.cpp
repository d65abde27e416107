#include "generators/radar.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/byte_io.h"
#include "tests/test_support.h"

namespace quor {
namespace {

struct RadarRig {
  RadarRig(int w, int h, int mode = RadarGenerator::kLeftToRight, int band = 0)
      : width(w), height(h), frame(static_cast<size_t>(w) * h * 3, 0) {
    EXPECT_TRUE(radar.Create(w, h));
    radar.SetAutoColorMode(0);
    radar.SetMode(mode);
    radar.SetBandWidth(band);
  }
  void Render() { radar.Render(frame.data(), width, height); }
  Rgb At(int x, int y) const {
    const uint8_t* p = &frame[(static_cast<size_t>(y) * width + x) * 3];
    return {p[0], p[1], p[2]};
  }
  // The lit columns of row 0 (or rows of column 0) as '#' / '.'.
  std::string Lit(bool rows = false) const {
    std::string s;
    for (int i = 0; i < (rows ? height : width); ++i) s += (rows ? At(0, i) : At(i, 0)) == Rgb{} ? '.' : '#';
    return s;
  }
  test::GeneratorHarness harness{1};
  RadarGenerator radar{harness.context};
  int width;
  int height;
  std::vector<uint8_t> frame;
};

TEST(RadarScan, OneWayModesRestartBeyondTheEdge) {
  // 10 wide, width 20 %: band = (10 * 20) / 100 + 1 = 3 lines; positions
  // 0..9, then -3, -2, -1: the band slides out and back in.
  RadarRig rig(10, 4, RadarGenerator::kLeftToRight, 20);
  std::vector<std::string> seen;
  for (int i = 0; i < 13; ++i) rig.Render(), seen.push_back(rig.Lit());
  EXPECT_EQ(seen[0], "###.......");
  EXPECT_EQ(seen[9], ".........#");
  EXPECT_EQ(seen[10], "..........");
  EXPECT_EQ(seen[12], "##........");
  EXPECT_EQ(rig.At(0, 3), (Rgb{255, 0, 0}));
  // Bottom -> Top, one line on 6 rows: drawn at 0, then restarts at row 5.
  RadarRig up(4, 6, RadarGenerator::kBottomToTop);
  std::string rows;
  for (int i = 0; i < 3; ++i) up.Render(), rows += up.Lit(true) + " ";
  EXPECT_EQ(rows, "#..... .....# ....#. ");
}

TEST(RadarScan, BouncingModesTurnAtBothEdges) {
  // Band 3 on 10 columns: forwards to 7 = W - band, back to 0, never leaving.
  RadarRig rig(10, 4, RadarGenerator::kBounceHorizontal, 20);
  std::vector<int> drawnAt;
  for (int i = 0; i < 17; ++i) rig.Render(), drawnAt.push_back(static_cast<int>(rig.Lit().find('#')));
  EXPECT_EQ(drawnAt, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2}));
  // Vertically the offset setter restarts forwards from (50 * 8) / 100 = 4.
  RadarRig vertical(4, 8, RadarGenerator::kBounceVertical);
  vertical.radar.SetOffset(50);
  std::string order;
  for (int i = 0; i < 6; ++i) vertical.Render(), order += static_cast<char>('0' + vertical.Lit(true).find('#'));
  EXPECT_EQ(order, "456765");
}

TEST(RadarScan, BandWidthTrailPixelStepAndColour) {
  RadarRig full(8, 4, RadarGenerator::kLeftToRight, 100);  // band W + 1 covers all
  full.Render();
  EXPECT_EQ(full.Lit(), "########");
  // Fade 0 clears whatever the frame held.
  RadarRig noTrail(10, 4);
  std::memset(noTrail.frame.data(), 99, noTrail.frame.size());
  noTrail.Render();
  EXPECT_EQ(noTrail.Lit(), "#.........");
  // Fade 100 on 10 columns: trail 10, step = 255 / 11 = 23 per move.
  RadarRig trail(10, 4);
  trail.radar.SetFade(100);
  for (int i = 0; i < 3; ++i) trail.Render();
  EXPECT_EQ(trail.At(0, 2), (Rgb{255 - 23 - 23, 0, 0}));
  EXPECT_EQ(trail.At(2, 2), (Rgb{255, 0, 0}));
  EXPECT_EQ(trail.At(3, 2), (Rgb{}));
  // PixelStep 2: two moves per frame, the trail fading once per move; 0 stands still.
  RadarRig fast(10, 4);
  fast.harness.pixelStep = 2;
  fast.radar.SetFade(100);
  fast.Render();
  EXPECT_EQ(fast.At(0, 0), (Rgb{232, 0, 0}));
  EXPECT_EQ(fast.radar.position(), 2);
  fast.harness.pixelStep = 0;
  fast.Render();
  EXPECT_EQ(fast.At(1, 0), (Rgb{255, 0, 0}));
  EXPECT_EQ(fast.radar.position(), 2);
  // Shared auto colour: phase 0 at wheel position 0 + 2 gives (255, 0, 253).
  RadarRig wheel(8, 4);
  wheel.radar.SetAutoColorMode(2);
  wheel.harness.sharedWheel = {0, 0};
  wheel.Render();
  EXPECT_EQ(wheel.At(0, 0), (Rgb{255, 0, 253}));
  EXPECT_EQ(wheel.harness.sharedWheel.position, 2);
}

TEST(RadarSettings, RoundTripAndRepairs) {
  RadarRig rig(10, 6, RadarGenerator::kTopToBottom, 12);
  rig.radar.SetFade(34);
  rig.radar.SetColor({1, 2, 3});
  rig.radar.SetAutoColorMode(1);
  rig.radar.SetOffset(50);
  SettingsBlock block;
  block.fill(0xAB);
  rig.radar.ExchangeSettings(block, SettingsDirection::kStore);
  // mode, width, fade, red, green, blue, auto colour mode, offset.
  const uint8_t expected[33] = {3, 0, 0, 0, 12, 0, 0, 0, 34, 0, 0, 0, 1,  0, 0, 0, 2,   0,
                                0, 0, 3, 0, 0, 0, 1,  0, 0, 0, 50, 0, 0, 0, 0xAB};
  EXPECT_EQ(0, std::memcmp(block.data(), expected, sizeof(expected)));

  RadarRig loaded(10, 6);
  loaded.radar.ExchangeSettings(block, SettingsDirection::kLoad);
  SettingsBlock again;
  again.fill(0xAB);
  loaded.radar.ExchangeSettings(again, SettingsDirection::kStore);
  EXPECT_EQ(block, again);
  EXPECT_EQ(loaded.radar.position(), 3);  // vertical: (H * offset) / 100 = (6 * 50) / 100
  block[0] = 0;
  loaded.radar.ExchangeSettings(block, SettingsDirection::kLoad);
  EXPECT_EQ(loaded.radar.position(), 4);  // horizontal uses W - 1: (9 * 50) / 100

  // Damaged: offset above 100 becomes 0; width and fade come back into
  // 0..100 (a fade of -1 would make the trail step divide by zero).
  SettingsBlock damaged{};
  ByteWriter out(damaged);
  for (int32_t word : {0, 5000, -1, 255, 0, 0, 0, 101}) out.PutI32(word);
  loaded.radar.ExchangeSettings(damaged, SettingsDirection::kLoad);
  EXPECT_EQ(loaded.radar.offset(), 0);
  EXPECT_EQ(loaded.radar.position(), 0);
  EXPECT_EQ(loaded.radar.bandWidth(), 100);
  EXPECT_EQ(loaded.radar.fade(), 0);
  loaded.Render();
  EXPECT_EQ(loaded.Lit(), "##########");
}

}  // namespace
}  // namespace quor
